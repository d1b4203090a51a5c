#include "proxy/CListenerThread.h"

#include "os/CNetAddress.h"
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

constexpr int kNoFamily = -2;

// A socket listening on every address of family at port: for IPv6 one
// dual-stack socket that takes IPv4 clients as well. -1 when it cannot be set
// up, kNoFamily when the machine has no such family.
int OpenListeningSocket(int family, std::uint16_t port) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno == EAFNOSUPPORT || errno == EPROTONOSUPPORT ? kNoFamily : -1;
    const linger noLinger{0, 0};
    const int on = 1;
    const int off = 0;
    if (::setsockopt(fd, SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        ::close(fd);
        return -1;
    }
    if (family == AF_INET6 && ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0) {
        ::close(fd);
        return kNoFamily;
    }
    sockaddr_storage address{};
    const socklen_t length =
        (family == AF_INET6 ? CNetAddress::FromV6({}) : CNetAddress::FromV4(INADDR_ANY))
            .ToSockaddr(port, address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 128) != 0) {
        const int error = errno;
        ::close(fd);
        // No IPv6 address to bind to: the family is there in name only.
        return family == AF_INET6 && (error == EADDRNOTAVAIL || error == EAFNOSUPPORT) ? kNoFamily
                                                                                       : -1;
    }
    return fd;
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
    m_fd = OpenListeningSocket(AF_INET6, port);
    // A kernel without IPv6 (or with it switched off) still serves IPv4.
    if (m_fd == kNoFamily)
        m_fd = OpenListeningSocket(AF_INET, port);
    if (m_fd < 0)
        return false;
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
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    // The port sits at the same place in both families' addresses.
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

void CListenerThread::AcceptLoop() {
    while (!m_stopping) {
        sockaddr_storage peer{};
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
        StartConnection(fd, CNetAddress::FromSockaddr(reinterpret_cast<sockaddr*>(&peer), length));
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

void CListenerThread::StartConnection(int fd, const CNetAddress& peerAddress) {
    CUnixThread::Start(std::make_unique<CConnectionThread>(fd, m_counter, peerAddress));
}
