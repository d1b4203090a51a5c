#pragma once

#include "os/CUnixThread.h"
#include "proxy/CConnCounter.h"

#include <cstdint>

// Stand-in for the per-connection thread until the real one exists: it
// registers the connection, holds it open until the browser closes it or a stop
// aborts it, and unregisters. It reads and discards whatever the browser sends.
class CConnectionStandIn : public CUnixThread {
public:
    // Registers at once, on the accepting thread, so that a stop that comes
    // before the thread runs still finds and aborts the connection.
    CConnectionStandIn(int fd, CConnCounter& counter, std::uint32_t peerAddress);
    ~CConnectionStandIn() override;

    std::uint32_t Number() const { return m_registration.number; }

protected:
    void Run() override;

private:
    int m_fd;
    CConnCounter& m_counter;
    std::uint32_t m_peerAddress;
    CConnCounter::Registration m_registration;
};
