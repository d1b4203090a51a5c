#pragma once

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testsupport {

// Two connected stream sockets, local or over loopback TCP; the test holds
// one end as a raw descriptor.
struct SocketPair {
    int ours = -1;   // handed to the socket under test
    int theirs = -1; // the peer, driven by the test
    explicit SocketPair(bool tcp = false) {
        int fds[2];
        if (!tcp && ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0) {
            ours = fds[0];
            theirs = fds[1];
        } else if (tcp) {
            const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t length = sizeof address;
            ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
            ::listen(listener, 1);
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
            theirs = ::socket(AF_INET, SOCK_STREAM, 0);
            ::connect(theirs, reinterpret_cast<sockaddr*>(&address), sizeof address);
            ours = ::accept(listener, nullptr, nullptr);
            ::close(listener);
        }
    }
    SocketPair(const SocketPair&) = delete;
    SocketPair& operator=(const SocketPair&) = delete;
    ~SocketPair() { ClosePeer(); }
    void Write(std::string_view data) const {
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::send(theirs, data.data() + done, data.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            done += static_cast<std::size_t>(n);
        }
    }
    // Everything the peer can read within timeoutMs of silence.
    std::string ReadAvailable(int timeoutMs = 200) const {
        std::string out;
        char chunk[4096];
        for (int round = 0; round < 10000; ++round) {
            pollfd p{theirs, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0)
                break;
            const ssize_t n = ::recv(theirs, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            out.append(chunk, static_cast<std::size_t>(n));
        }
        return out;
    }
    void ClosePeer() {
        if (theirs >= 0)
            ::close(theirs);
        theirs = -1;
    }
};

// A loopback TCP server that counts the connections it accepts and keeps
// them; the test reads and writes them by index. Its thread stops within
// 100 ms of destruction.
class LoopbackServer {
public:
    LoopbackServer() {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listen, 16);
        socklen_t length = sizeof address;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Loop(); });
    }
    ~LoopbackServer() {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int fd : m_accepted)
            if (fd >= 0)
                ::close(fd);
    }
    std::uint16_t Port() const { return m_port; }
    // The number of connections accepted, once it has reached at least
    // expected or 2 s have passed.
    int Accepts(int expected = 0) const {
        for (int i = 0; i < 200 && m_accepts.load() < expected; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return m_accepts.load();
    }
    // The descriptor of the n-th accepted connection, waiting up to 2 s for it.
    int Connection(int n) {
        for (int i = 0; i < 200; ++i) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (static_cast<int>(m_accepted.size()) > n)
                    return m_accepted[static_cast<std::size_t>(n)];
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    void CloseConnection(int n) {
        std::lock_guard<std::mutex> lock(m_mutex);
        int& fd = m_accepted.at(static_cast<std::size_t>(n));
        ::close(fd);
        fd = -1;
    }

private:
    // Accepts, and answers a client's half-close with its own, as servers do,
    // so that the client's close does not wait out its drain.
    void Loop() {
        std::vector<int> open;
        while (!m_stop) {
            std::vector<pollfd> fds{{m_listen, POLLIN, 0}};
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                for (int fd : open)
                    if (std::find(m_accepted.begin(), m_accepted.end(), fd) != m_accepted.end())
                        fds.push_back({fd, POLLRDHUP, 0});
            }
            if (::poll(fds.data(), fds.size(), 20) <= 0)
                continue;
            std::lock_guard<std::mutex> lock(m_mutex);
            for (std::size_t i = 1; i < fds.size(); ++i) {
                if (fds[i].revents != 0) {
                    ::shutdown(fds[i].fd, SHUT_WR);
                    open.erase(std::find(open.begin(), open.end(), fds[i].fd));
                }
            }
            if (fds[0].revents & POLLIN) {
                const int fd = ::accept(m_listen, nullptr, nullptr);
                if (fd < 0)
                    continue;
                m_accepted.push_back(fd);
                open.push_back(fd);
                ++m_accepts;
            }
        }
    }

    int m_listen = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepts{0};
    std::mutex m_mutex;
    std::vector<int> m_accepted;
    std::thread m_thread;
};

inline std::string ReadFrom(int fd, int timeoutMs = 500) {
    std::string out;
    char chunk[4096];
    for (int round = 0; round < 1000; ++round) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            break;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        out.append(chunk, static_cast<std::size_t>(n));
        timeoutMs = 50; // the rest of what was sent is already there
    }
    return out;
}

} // namespace testsupport
