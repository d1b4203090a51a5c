#include "proxy/CListenerThread.h"

#include "proxy/CConnectionThread.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// accept() failures that mean the machine is short of something: retrying at
// once would only spin, so wait a moment first.
bool IsResourceShortage(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

} // namespace

CListenerThread::~CListenerThread() {
    Cancel();
    m_counter.AbortAllAndWait();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CListenerThread::Listen(std::uint16_t port) {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return false;
    const linger noLinger{0, 0};
    const int on = 1;
    if (::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger) != 0 ||
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_fd, 128) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_acceptThread = std::thread([this] { AcceptLoop(); });
    return true;
}

void CListenerThread::Cancel() {
    if (!m_acceptThread.joinable())
        return;
    m_stopping = true;
    // Shutting the listening socket down makes the blocked accept() return.
    ::shutdown(m_fd, SHUT_RDWR);
    m_acceptThread.join();
}

std::uint16_t CListenerThread::Port() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

void CListenerThread::AcceptLoop() {
    while (!m_stopping) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(m_fd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (fd < 0) {
            if (IsResourceShortage(errno))
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        if (m_stopping) {
            ::close(fd);
            break;
        }
        StartConnection(fd, peer.sin_addr.s_addr);
    }
}

void CListenerThread::StartConnection(int fd, std::uint32_t peerAddress) {
    CUnixThread::Start(std::make_unique<CConnectionThread>(fd, m_counter, peerAddress));
}
