#include "os/CUnixSocket.h"

#include "os/CException.h"
#include "os/CPersistentSockets.h"
#include "os/Limits.h"
#include "text/CIString.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint32_t kReceiveMinFree = 8192;
constexpr std::uint32_t kReceiveGrow = 16384;
// A body passes through in larger blocks: fewer calls per megabyte.
constexpr std::uint32_t kReceiveBodyGrow = 65536;

using Clock = std::chrono::steady_clock;

// The addresses of one name that are tried at most: a resolver answer that
// lists dozens would otherwise cost a descriptor each for one request.
constexpr std::size_t kMaxAddresses = 8;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Polls one descriptor for events, restarting after signals until the
// deadline; returns poll's result.
int PollUntil(pollfd& p, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        p.revents = 0;
        const int rc = poll(&p, 1, timeoutMs < 0 ? -1 : MillisecondsLeft(deadline));
        if (rc >= 0 || errno != EINTR)
            return rc;
    }
}

// The limit every pooled connection carries (see Close).
int PooledReadTimeoutMs() {
    return Limits::Current().serverReadMs;
}

void SetTimeLimit(int fd, int option, int ms) {
    ms = std::max(0, ms);
    const timeval limit{ms / 1000, (ms % 1000) * 1000};
    if (::setsockopt(fd, SOL_SOCKET, option, &limit, sizeof limit) != 0)
        throw COSErrException(errno);
}

// Every address of host, in the order to try them. A literal (IPv6 in
// brackets or not) is the one address; a name goes through the resolver,
// whose order (preferred family and scope first) is kept within each family
// while the families take turns, so that one unreachable family costs one
// head start and not the whole list. An unspecified or broadcast address from
// the resolver is no server.
std::vector<CNetAddress> Resolve(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty() || host.find('\0') != std::string_view::npos)
        return {};
    if (const auto literal = CNetAddress::Parse(host))
        return {*literal};
    const std::string name(host);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return {};
    std::vector<CNetAddress> first;
    std::vector<CNetAddress> second;
    CNetAddress::Family leading = CNetAddress::Family::None;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        const CNetAddress address = CNetAddress::FromSockaddr(a->ai_addr, a->ai_addrlen);
        if (address.Empty() || address == CNetAddress::FromV4(0) ||
            address == CNetAddress::FromV4(0xFFFFFFFFu) || address == CNetAddress::FromV6({}))
            continue;
        if (leading == CNetAddress::Family::None)
            leading = address.GetFamily();
        auto& list = address.GetFamily() == leading ? first : second;
        if (std::find(list.begin(), list.end(), address) == list.end())
            list.push_back(address);
    }
    freeaddrinfo(found);
    std::vector<CNetAddress> order;
    order.reserve(first.size() + second.size());
    for (std::size_t i = 0; i < std::max(first.size(), second.size()); ++i) {
        if (i < first.size())
            order.push_back(first[i]);
        if (i < second.size())
            order.push_back(second[i]);
    }
    if (order.size() > kMaxAddresses)
        order.resize(kMaxAddresses);
    return order;
}

} // namespace

CUnixSocket::CUnixSocket() : m_serverReadTimeoutMs(Limits::Current().serverReadMs) {
    Reset();
}

CUnixSocket::~CUnixSocket() {
    try {
        Close();
    } catch (...) {
        // Nothing to report to from a destructor; the descriptor is gone.
    }
}

void CUnixSocket::Attach(int fd) {
    if (IsOpen())
        CloseNoPool();
    m_peerAddress = {};
    m_peerPort = 0;
    m_keepAlive = false;
    m_hasDeadline = false;
    // A receive waits for the browser no longer than an idle connection may
    // stay; the request head has a deadline of its own (SetReadDeadline).
    m_readTimeoutMs = Limits::Current().browserIdleMs;
    if (!Adopt(fd, Origin::Fresh))
        ::close(fd);
}

bool CUnixSocket::Adopt(int fd, Origin origin) {
    if (origin == Origin::Fresh) {
        // A head and its body may leave in two sends; waiting for the peer's
        // delayed acknowledgement between them would cost a small request
        // some 40 ms. A pooled connection has this already.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        // A peer that takes nothing for this long fails our send instead of
        // holding the thread: a browser that stopped reading, a stuck server.
        // A pooled connection carries it already.
        try {
            SetTimeLimit(fd, SO_SNDTIMEO, Limits::Current().sendStallMs);
        } catch (const COSErrException&) {
            // Without the limit the connection still works.
        }
    }
    // Every pooled connection carries the server read limit (see Close).
    m_appliedTimeoutMs = origin == Origin::Pooled ? PooledReadTimeoutMs() : 0;
    m_localAddress.clear();
    m_held.clear();
    StCritical lock(m_fdLock);
    if (m_aborted)
        return false;
    m_fd = fd;
    return true;
}

int CUnixSocket::ReleaseDescriptor() {
    StCritical lock(m_fdLock);
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void CUnixSocket::CloseDescriptor() {
    if (m_fd < 0)
        return;
    // The drain runs without the lock, so that an Abort meanwhile only has to
    // wait for the close itself.
    CPersistentSockets::HalfCloseAndDrain(m_fd, kDrainTimeoutMs);
    StCritical lock(m_fdLock);
    ::close(m_fd);
    m_fd = -1;
}

void CUnixSocket::Abort() {
    StCritical lock(m_fdLock);
    m_aborted = true;
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
    // A connect in progress wakes with an error.
    for (const int fd : m_connecting)
        ::shutdown(fd, SHUT_RDWR);
}

void CUnixSocket::ApplyReadTimeout() {
    // The limit lives in the descriptor, so that a receive costs one call;
    // it is only set again when it changes.
    if (m_readTimeoutMs == m_appliedTimeoutMs)
        return;
    SetTimeLimit(m_fd, SO_RCVTIMEO, m_readTimeoutMs);
    m_appliedTimeoutMs = m_readTimeoutMs;
}

void CUnixSocket::SetReadDeadline(std::chrono::steady_clock::time_point deadline) {
    m_hasDeadline = true;
    m_deadline = deadline;
}

void CUnixSocket::AwaitDeadline() {
    pollfd p{m_fd, POLLIN, 0};
    const int rc = PollUntil(p, MillisecondsLeft(m_deadline));
    if (rc < 0)
        throw COSErrException(errno);
    if (rc == 0) {
        m_keepAlive = false; // half a message came: the connection is out of step
        throw COSErrException(ETIMEDOUT);
    }
}

bool CUnixSocket::WaitForInput(int ms) {
    if (!m_input.Empty())
        return true;
    if (m_fd < 0)
        throw COSErrException(EBADF);
    pollfd p{m_fd, POLLIN, 0};
    const int rc = PollUntil(p, ms);
    if (rc < 0)
        throw COSErrException(errno);
    return rc > 0;
}

void CUnixSocket::ShutdownSend() {
    Flush();
    StCritical lock(m_fdLock);
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_WR);
}

void CUnixSocket::SendInterim(std::string_view head) {
    const bool nothingSent = m_nothingSent;
    SendText(head);
    m_nothingSent = nothingSent;
}

std::uint32_t CUnixSocket::Receive(CBuffer& buf) {
    if (m_bodyBytesLeft == 0)
        return 0;
    if (m_fd < 0)
        throw COSErrException(EBADF);
    const bool own = &buf == &m_input;
    ApplyReadTimeout();
    for (;;) {
        if (m_hasDeadline)
            AwaitDeadline();
        std::uint32_t room = own ? kReceiveGrow : kReceiveBodyGrow;
        char* at = buf.BeginWrite(room, kReceiveMinFree);
        std::size_t limit = room;
        // Into a body buffer: never past the body, so what follows stays for
        // the next message.
        if (!own && m_bodyBytesLeft > 0)
            limit = static_cast<std::size_t>(std::min<std::int64_t>(m_bodyBytesLeft, room));
        ssize_t rc;
        do
            rc = ::recv(m_fd, at, limit, 0);
        while (rc < 0 && errno == EINTR);
        const int error = errno;
        const std::uint32_t got = rc > 0 ? static_cast<std::uint32_t>(rc) : 0;
        std::uint32_t dropped = 0;
        if (m_skipCR && got > 0) {
            while (dropped < got && at[dropped] == '\r')
                ++dropped;
            if (dropped < got)
                m_skipCR = false;
            if (dropped > 0)
                std::copy(at + dropped, at + got, at);
        }
        const std::uint32_t kept = got - dropped;
        buf.EndWrite(kept);
        if (!own)
            ConsumeBody(kept);
        if (rc < 0 && (error == EAGAIN || error == EWOULDBLOCK)) {
            // A server that went silent: the connection is out of step for good.
            m_keepAlive = false;
            throw COSErrException(ETIMEDOUT);
        }
        if (rc < 0)
            throw COSErrException(error);
        if (rc == 0)
            return 0;
        CountReceived(got);
        if (kept > 0)
            return kept;
    }
}

void CUnixSocket::SendAll(const void* head, std::size_t headLength, const void* data, std::size_t n,
                          const void* tail, std::size_t tailLength, int flags) {
    iovec parts[3] = {{const_cast<void*>(head), headLength},
                      {const_cast<void*>(data), n},
                      {const_cast<void*>(tail), tailLength}};
    iovec* next = parts;
    int count = 3;
    while (count > 0 && next->iov_len == 0) {
        ++next;
        --count;
    }
    while (count > 0) {
        msghdr message{};
        message.msg_iov = next;
        message.msg_iovlen = static_cast<std::size_t>(count);
        const ssize_t rc = ::sendmsg(m_fd, &message, MSG_NOSIGNAL | flags);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0)
            throw COSErrException(errno);
        if (rc == 0)
            throw CException::HalfClosed();
        CountSent(static_cast<std::uint64_t>(rc));
        // A short send (a signal, a send time limit) continues where it stopped.
        std::size_t sent = static_cast<std::size_t>(rc);
        while (count > 0 && sent >= next->iov_len) {
            sent -= next->iov_len;
            ++next;
            --count;
        }
        if (count > 0) {
            next->iov_base = static_cast<char*>(next->iov_base) + sent;
            next->iov_len -= sent;
        }
    }
}

std::uint32_t CUnixSocket::Send(const void* data, std::uint32_t n) {
    m_nothingSent = false;
    if (m_chunkedOutput) {
        char size[16];
        const int sizeLength = std::snprintf(size, sizeof size, "%X\r\n", n);
        if (m_held.empty()) {
            SendAll(size, static_cast<std::size_t>(sizeLength), data, n, "\r\n", 2);
        } else {
            m_held.append(size, static_cast<std::size_t>(sizeLength));
            SendHeldWith(data, n, "\r\n", 2);
        }
        return n;
    }
    if (n == 0)
        return 0;
    if (m_held.empty())
        SendAll(nullptr, 0, data, n, nullptr, 0);
    else
        SendHeldWith(data, n, nullptr, 0);
    return n;
}

std::int64_t CUnixSocket::SpliceTo(CUnixSocket& to, CSplicePipe& pipe, std::int64_t* taken) {
    if (m_endOfData)
        return 0;
    if (m_chunkedInput || Decoder() != nullptr || m_skipCR || !m_input.Empty() ||
        to.m_chunkedOutput || to.m_fd < 0)
        return kCopyInstead;
    if (m_bodyBytesLeft == 0) {
        m_endOfData = true;
        return 0;
    }
    if (m_fd < 0)
        throw COSErrException(EBADF);
    if (!pipe.Open())
        return kCopyInstead;
    ApplyReadTimeout();
    if (m_hasDeadline)
        AwaitDeadline();

    // The pipe is empty here: what comes in goes out before the next receive.
    // Never past the body, so that what follows stays for the next message.
    const std::int64_t expected = m_bodyBytesLeft;
    std::size_t limit = pipe.Size();
    if (expected > 0)
        limit = static_cast<std::size_t>(std::min<std::int64_t>(expected, limit));
    ssize_t rc;
    do
        rc = ::splice(m_fd, nullptr, pipe.WriteEnd(), nullptr, limit, SPLICE_F_MOVE);
    while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        const int error = errno;
        if (error == EINVAL || error == ENOSYS) {
            // This kernel or descriptor cannot splice; nothing was taken.
            CSplicePipe::Disable();
            pipe.Close();
            return kCopyInstead;
        }
        if (error == EAGAIN || error == EWOULDBLOCK) {
            // A server that went silent: the connection is out of step for good.
            m_keepAlive = false;
            throw COSErrException(ETIMEDOUT);
        }
        throw COSErrException(error);
    }
    if (rc == 0) {
        m_endOfData = true;
        // A body whose announced length was not reached is cut short.
        if (expected > 0)
            throw CException::HalfClosed();
        return 0;
    }
    const auto got = static_cast<std::size_t>(rc);
    CountReceived(got);
    ConsumeBody(got);
    if (m_bodyBytesLeft == 0)
        m_endOfData = true;
    if (taken != nullptr)
        *taken += static_cast<std::int64_t>(got);
    try {
        to.SendFromPipe(pipe, got);
    } catch (...) {
        pipe.Close(); // what is left inside is never sent on
        throw;
    }
    return static_cast<std::int64_t>(got);
}

void CUnixSocket::SendFromPipe(CSplicePipe& pipe, std::size_t count) {
    m_nothingSent = false;
    if (!m_held.empty()) {
        // The head goes first, corked so that it leaves with the body's start.
        std::string held;
        held.swap(m_held);
        SendAll(held.data(), held.size(), nullptr, 0, nullptr, 0, MSG_MORE);
    }
    while (count > 0) {
        const ssize_t rc = ::splice(pipe.ReadEnd(), nullptr, m_fd, nullptr, count, SPLICE_F_MOVE);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0 && (errno == EINVAL || errno == ENOSYS)) {
            // The socket takes no splice: what came in leaves by copy.
            CSplicePipe::Disable();
            const auto copy = std::make_unique<char[]>(count);
            std::size_t taken = 0;
            while (taken < count) {
                const ssize_t n = ::read(pipe.ReadEnd(), copy.get() + taken, count - taken);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    throw COSErrException(n < 0 ? errno : EIO);
                taken += static_cast<std::size_t>(n);
            }
            SendAll(nullptr, 0, copy.get(), count, nullptr, 0);
            return;
        }
        if (rc < 0)
            throw COSErrException(errno);
        if (rc == 0)
            throw CException::HalfClosed();
        CountSent(static_cast<std::uint64_t>(rc));
        count -= static_cast<std::size_t>(rc);
    }
}

void CUnixSocket::Hold(std::string_view bytes) {
    m_nothingSent = false;
    m_held.append(bytes);
}

void CUnixSocket::Flush() {
    if (!m_held.empty() && m_fd >= 0)
        SendHeldWith(nullptr, 0, nullptr, 0);
}

void CUnixSocket::SendHeldWith(const void* data, std::size_t n, const void* tail,
                               std::size_t tailLength) {
    std::string held;
    held.swap(m_held);
    SendAll(held.data(), held.size(), data, n, tail, tailLength);
}

void CUnixSocket::GetLocalAddress(CIString& out) {
    if (!m_localAddress.empty()) {
        out = m_localAddress;
        return;
    }
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        const CNetAddress address =
            CNetAddress::FromSockaddr(reinterpret_cast<const sockaddr*>(&local), length);
        if (!address.Empty()) {
            m_localAddress = address.Text().c_str(); // a connection's own end never moves
            out = m_localAddress;
            return;
        }
    }
    out = "0.0.0.0";
}

bool CUnixSocket::WaitReadable(CGenericSocket* other, int seconds) {
    // Bytes already buffered count as readable.
    if (other != nullptr && !other->Input().Empty())
        return true;
    if (!m_input.Empty())
        return false;
    // Without a descriptor of its own the wait could never end.
    if (m_fd < 0)
        throw COSErrException(EBADF);
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {other ? other->Descriptor() : -1, POLLIN, 0}};
    const int timeoutMs = seconds > 0 ? seconds * 1000 : -1;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int rc = ::poll(fds, 2, timeoutMs < 0 ? -1 : MillisecondsLeft(deadline));
        if (rc >= 0)
            break;
        if (errno != EINTR)
            throw COSErrException(errno);
    }
    return other != nullptr && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

void CUnixSocket::Close() {
    if (!m_held.empty()) {
        try {
            Flush();
        } catch (const CException&) {
            m_keepAlive = false; // the peer is gone
        }
    }
    if (m_fd >= 0 && m_keepAlive && !m_peerAddress.Empty() && !m_aborted && m_input.Empty() &&
        (m_endOfData || m_bodyBytesLeft == 0)) {
        bool reusable = true;
        if (m_chunkedOutput) {
            try {
                Send(nullptr, 0);
            } catch (const CException&) {
                reusable = false;
            }
        }
        // Pooled connections all carry the server read limit, so that the
        // next user need not set it again.
        if (reusable && m_appliedTimeoutMs != PooledReadTimeoutMs()) {
            m_readTimeoutMs = PooledReadTimeoutMs();
            try {
                ApplyReadTimeout();
            } catch (const CException&) {
                reusable = false;
            }
        }
        if (reusable) {
            int fd = ReleaseDescriptor();
            CPersistentSockets::Instance().Put(fd, m_peerAddress, m_peerPort);
            m_peerAddress = {};
            m_peerPort = 0;
            return;
        }
    }
    CloseDescriptor();
    m_peerAddress = {};
    m_peerPort = 0;
    // Unread bytes belong to this connection only.
    m_input.Clear();
}

void CUnixSocket::CloseNoPool() {
    m_keepAlive = false;
    Close();
}

void CUnixSocket::Drop() {
    m_keepAlive = false;
    m_held.clear();
    {
        StCritical lock(m_fdLock);
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    m_peerAddress = {};
    m_peerPort = 0;
    m_input.Clear();
}

void CUnixSocket::Connect(std::string_view host, std::uint16_t port, bool usePool) {
    if (IsOpen())
        Close();
    m_input.Clear();
    if (m_aborted)
        throw COSErrException(ECANCELED);
    const std::vector<CNetAddress> addresses = Resolve(host);
    if (addresses.empty())
        throw errors::CannotConnect();
    ConnectAny(addresses, port, usePool);
}

void CUnixSocket::ConnectAny(const std::vector<CNetAddress>& addresses, std::uint16_t port,
                             bool usePool) {
    if (IsOpen())
        Close();
    m_input.Clear();
    if (m_aborted)
        throw COSErrException(ECANCELED);
    if (addresses.empty())
        throw errors::CannotConnect();
    m_peerPort = port;
    m_readTimeoutMs = m_serverReadTimeoutMs;
    m_hasDeadline = false;

    if (usePool) {
        for (const CNetAddress& address : addresses) {
            const int idle = CPersistentSockets::Instance().Take(address, port);
            if (idle < 0)
                continue;
            m_peerAddress = address;
            if (!Adopt(idle, Origin::Pooled)) {
                ::close(idle);
                throw COSErrException(ECANCELED);
            }
            return;
        }
    }

    std::size_t winner = 0;
    const int fd = Race(addresses, port, winner);
    m_peerAddress = addresses[winner];
    if (!Adopt(fd, Origin::Fresh)) {
        ::close(fd);
        throw COSErrException(ECANCELED);
    }
}

void CUnixSocket::CloseConnecting(int fd) {
    StCritical lock(m_fdLock);
    m_connecting.erase(std::remove(m_connecting.begin(), m_connecting.end(), fd),
                       m_connecting.end());
    ::close(fd);
}

int CUnixSocket::Race(const std::vector<CNetAddress>& addresses, std::uint16_t port,
                      std::size_t& winner) {
    struct Attempt {
        int fd;
        std::size_t index;
    };
    std::vector<Attempt> pending;
    auto closeAll = [&] {
        for (const Attempt& attempt : pending)
            CloseConnecting(attempt.fd);
        pending.clear();
    };
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_connectTimeoutMs);
    Clock::time_point nextStart = Clock::now();
    std::size_t next = 0;
    int lastError = ECONNREFUSED;
    for (;;) {
        if (m_aborted) {
            closeAll();
            throw COSErrException(ECANCELED);
        }
        const Clock::time_point now = Clock::now();
        // The next address starts when the ones under way had their head
        // start, or at once when none is under way.
        if (next < addresses.size() && now < deadline && (pending.empty() || now >= nextStart)) {
            const std::size_t index = next++;
            sockaddr_storage target{};
            const socklen_t length = addresses[index].ToSockaddr(port, target);
            const int fd =
                ::socket(target.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            if (fd < 0) {
                lastError = errno;
                continue;
            }
            {
                // Registered before it connects: an Abort from now on shuts
                // it down; one that came before is seen here.
                StCritical lock(m_fdLock);
                m_connecting.push_back(fd);
                if (m_aborted) {
                    m_connecting.pop_back();
                    ::close(fd);
                    continue; // the check above ends the race
                }
            }
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), length) == 0) {
                closeAll();
                {
                    StCritical lock(m_fdLock);
                    m_connecting.clear();
                }
                winner = index;
                return Blocking(fd);
            }
            if (errno != EINPROGRESS && errno != EINTR) {
                lastError = errno;
                CloseConnecting(fd);
                continue;
            }
            pending.push_back({fd, index});
            nextStart = now + std::chrono::milliseconds(kNextAddressDelayMs);
        }
        if (pending.empty()) {
            if (next < addresses.size() && now < deadline)
                continue;
            if (next < addresses.size())
                throw COSErrException(ETIMEDOUT);
            throw COSErrException(lastError);
        }
        if (now >= deadline) {
            closeAll();
            throw COSErrException(ETIMEDOUT);
        }
        const Clock::time_point wakeUp =
            next < addresses.size() ? std::min(nextStart, deadline) : deadline;
        std::vector<pollfd> fds;
        fds.reserve(pending.size());
        for (const Attempt& attempt : pending)
            fds.push_back({attempt.fd, POLLOUT, 0});
        const int rc = ::poll(fds.data(), fds.size(), MillisecondsLeft(wakeUp));
        if (rc < 0 && errno != EINTR) {
            const int error = errno;
            closeAll();
            throw COSErrException(error);
        }
        for (std::size_t i = fds.size(); rc > 0 && i-- > 0;) {
            if (fds[i].revents == 0)
                continue;
            int soError = 0;
            socklen_t size = sizeof soError;
            if (::getsockopt(fds[i].fd, SOL_SOCKET, SO_ERROR, &soError, &size) < 0)
                soError = errno;
            if (soError == 0 && !m_aborted) {
                const Attempt won = pending[i];
                pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
                closeAll();
                {
                    StCritical lock(m_fdLock);
                    m_connecting.clear();
                }
                winner = won.index;
                return Blocking(won.fd);
            }
            lastError = soError != 0 ? soError : ECANCELED;
            CloseConnecting(fds[i].fd);
            pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

int CUnixSocket::Blocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        const int error = errno;
        ::close(fd);
        throw COSErrException(error);
    }
    return fd;
}
