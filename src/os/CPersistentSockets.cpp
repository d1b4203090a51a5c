#include "os/CPersistentSockets.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

CPersistentSockets* CPersistentSockets::Create() {
    auto pool = std::unique_ptr<CPersistentSockets>(new CPersistentSockets());
    CPersistentSockets* instance = pool.get();
    // The reaper owns the instance and never ends. Without a thread, Take
    // still refuses expired connections; they are only closed later.
    if (!CUnixThread::Start(std::move(pool)))
        instance = new CPersistentSockets();
    return instance;
}

CPersistentSockets& CPersistentSockets::Instance() {
    static CPersistentSockets* const instance = Create();
    return *instance;
}

void CPersistentSockets::Run() {
    for (;;) {
        std::this_thread::sleep_for(kReapInterval);
        ReapExpired();
    }
}

int CPersistentSockets::Take(const CNetAddress& address, std::uint16_t port) {
    for (;;) {
        int fd = -1;
        bool expired = false;
        {
            StCritical lock(m_lock);
            const auto it = m_idle.find(Key(address, port));
            if (it == m_idle.end())
                return -1;
            fd = it->second.fd;
            expired = it->second.expiry <= Clock::now();
            m_idle.erase(it);
        }
        if (!expired && IsReusable(fd))
            return fd;
        // Dead, out of step or too old to trust: the server may close it any
        // moment.
        ::close(fd);
    }
}

void CPersistentSockets::Put(int& fd, const CNetAddress& address, std::uint16_t port) {
    if (fd < 0)
        return;
    {
        StCritical lock(m_lock);
        m_idle.emplace(Key(address, port), Idle{fd, Clock::now() + m_lifetime});
    }
    fd = -1;
}

void CPersistentSockets::ReapExpired() {
    std::vector<int> expired;
    {
        StCritical lock(m_lock);
        const Clock::time_point now = Clock::now();
        for (auto it = m_idle.begin(); it != m_idle.end();) {
            if (it->second.expiry <= now) {
                expired.push_back(it->second.fd);
                it = m_idle.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Closing drains, so it happens outside the lock.
    for (int fd : expired)
        CloseIdle(fd);
}

std::size_t CPersistentSockets::IdleCount() {
    StCritical lock(m_lock);
    return m_idle.size();
}

void CPersistentSockets::SetIdleLifetime(std::chrono::milliseconds lifetime) {
    StCritical lock(m_lock);
    m_lifetime = lifetime;
}

void CPersistentSockets::HalfCloseAndDrain(int fd, int timeoutMs) {
    if (::shutdown(fd, SHUT_WR) != 0)
        return;
    // Reading until the peer closes lets it see our end of data before the
    // connection goes; a peer that never closes only costs timeoutMs.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char sink[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            return;
        pollfd p{fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, static_cast<int>(left));
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0)
            return;
        const ssize_t got = ::recv(fd, sink, sizeof sink, MSG_DONTWAIT);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return;
    }
}

void CPersistentSockets::CloseIdle(int fd, int timeoutMs) {
    HalfCloseAndDrain(fd, timeoutMs);
    ::close(fd);
}

bool CPersistentSockets::IsReusable(int fd) {
    pollfd p{fd, POLLIN | POLLRDHUP, 0};
    int rc;
    do
        rc = ::poll(&p, 1, 0);
    while (rc < 0 && errno == EINTR);
    // Readable means closed by the peer (0 bytes), an error, or bytes nobody
    // asked for: none of them can carry the next request.
    return rc == 0;
}
