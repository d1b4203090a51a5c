#pragma once

#include "os/CCriticalSection.h"
#include "os/CNetAddress.h"
#include "os/CUnixThread.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <utility>

// The pool of idle server connections kept for reuse, one process-wide
// instance. Its thread closes connections that stayed idle too long.
class CPersistentSockets : public CUnixThread {
public:
    static constexpr std::chrono::seconds kIdleLifetime{15};
    static constexpr std::chrono::seconds kReapInterval{5};

    // The instance, created with its reaper thread on first use.
    static CPersistentSockets& Instance();

    // An idle connection to address and port that is still
    // usable, or -1. Expired connections, connections the server has closed
    // and connections with unexpected input are closed, not handed out.
    int Take(const CNetAddress& address, std::uint16_t port);
    // Keeps fd for reuse and sets the caller's fd to -1.
    void Put(int& fd, const CNetAddress& address, std::uint16_t port);

    // Closes every idle connection whose lifetime has passed.
    void ReapExpired();
    std::size_t IdleCount();
    // Changes how long Put keeps a connection (tests use a short one).
    void SetIdleLifetime(std::chrono::milliseconds lifetime);

    // Half-closes, drains what the peer still sends for at most timeoutMs in
    // total, and closes.
    static void CloseIdle(int fd, int timeoutMs = 2000);
    // Half-close and bounded drain, without closing.
    static void HalfCloseAndDrain(int fd, int timeoutMs);
    // True while an idle connection has nothing to read and no error: a
    // readable idle connection is closed by the peer or out of step.
    static bool IsReusable(int fd);

protected:
    void Run() override;

private:
    using Clock = std::chrono::steady_clock;
    using Key = std::pair<CNetAddress, std::uint16_t>;
    struct Idle {
        int fd;
        Clock::time_point expiry;
    };

    CPersistentSockets() = default;
    static CPersistentSockets* Create();

    CCriticalSection m_lock;
    std::multimap<Key, Idle> m_idle;
    std::chrono::milliseconds m_lifetime = kIdleLifetime;
};
