#pragma once

#include "os/CUnixSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>

// A loopback TCP connection: the proxy's end as a CUnixSocket, the other end
// a plain descriptor that the test writes and reads.
class LoopbackPair {
public:
    LoopbackPair() {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener, 1);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_peer = ::socket(AF_INET, SOCK_STREAM, 0);
        ::connect(m_peer, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socket.Attach(::accept(listener, nullptr, nullptr));
        ::close(listener);
    }
    ~LoopbackPair() {
        if (m_peer >= 0)
            ::close(m_peer);
    }
    LoopbackPair(const LoopbackPair&) = delete;
    LoopbackPair& operator=(const LoopbackPair&) = delete;

    void Write(std::string_view bytes) const {
        ::send(m_peer, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

    // Ends the proxy's sending side and returns everything it sent; bounded
    // to two seconds.
    std::string SentByProxy() {
        ::shutdown(socket.Descriptor(), SHUT_WR);
        std::string out;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{m_peer, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char buf[4096];
            const ssize_t n = ::recv(m_peer, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }

    CUnixSocket socket;

private:
    int m_peer = -1;
};
