#include "proxy/CListenerThread.h"

#include "os/Limits.h"
#include "proxy/CConnectionThread.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <string_view>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// accept() failures that mean the machine is short of something: retrying at
// once would only spin, so wait a moment first.
bool IsResourceShortage(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

// What a browser beyond the bound is told, in one send that never waits.
constexpr std::string_view kBusyAnswer = "HTTP/1.0 503 Service Unavailable\r\n"
                                         "Content-Type: text/plain\r\n"
                                         "Content-Length: 30\r\n"
                                         "Connection: close\r\n"
                                         "Retry-After: 5\r\n"
                                         "\r\n"
                                         "Too many connections, retry.\r\n";
static_assert(kBusyAnswer.size() - kBusyAnswer.find("\r\n\r\n") - 4 == 30);

// Raises the soft open-file limit to the hard one; returns the limit in force.
std::uint64_t RaiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? UINT64_MAX : limit.rlim_cur;
}

} // namespace

CListenerThread::~CListenerThread() {
    Cancel();
    m_counter.AbortAllAndWait();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CListenerThread::Listen(std::uint16_t port) {
    const std::uint64_t openFiles = RaiseOpenFileLimit();
    if (m_maxConnections == 0) {
        const int configured = Limits::Current().maxConnections;
        m_maxConnections = configured > 0 ? static_cast<std::uint32_t>(configured)
                                          : Limits::ConnectionBound(openFiles);
    }
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
        if (m_counter.Active() >= m_maxConnections) {
            Refuse(fd);
            continue;
        }
        StartConnection(fd, peer.sin_addr.s_addr);
    }
}

void CListenerThread::Refuse(int fd) {
    m_counter.CountRefused();
    // Never blocks the accept loop: a fresh connection's send buffer takes the
    // short answer whole, and a peer that cannot take it loses nothing it
    // was promised.
    ::send(fd, kBusyAnswer.data(), kBusyAnswer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    // What the browser has sent already is read away, so that the close does
    // not answer it with a reset that could overtake the 503.
    char scrap[4096];
    for (int i = 0; i < 4 && ::recv(fd, scrap, sizeof scrap, MSG_DONTWAIT) > 0; ++i) {
    }
    ::close(fd);
}

void CListenerThread::StartConnection(int fd, std::uint32_t peerAddress) {
    CUnixThread::Start(std::make_unique<CConnectionThread>(fd, m_counter, peerAddress));
}
