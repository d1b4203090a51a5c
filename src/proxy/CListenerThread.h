#pragma once

#include "os/CNetAddress.h"
#include "proxy/CConnCounter.h"

#include <atomic>
#include <cstdint>
#include <thread>

// Owns the proxy's listening socket and the thread that accepts browser
// connections on it, one connection thread per accepted connection.
class CListenerThread {
public:
    // statistic: the default group's, which counts the connections; may be
    // null.
    explicit CListenerThread(CStatistic* statistic = nullptr) : m_counter(statistic) {}
    // Stops accepting, aborts and awaits every open connection, then closes
    // the listening socket.
    ~CListenerThread();
    CListenerThread(const CListenerThread&) = delete;
    CListenerThread& operator=(const CListenerThread&) = delete;

    // Raises the open-file limit as far as it goes, listens on all interfaces
    // at port (0: any free port), IPv6 and IPv4 on one socket (IPv4 alone
    // where the machine has no IPv6), and starts the accept thread. False when the
    // socket cannot be set up.
    bool Listen(std::uint16_t port);
    // Ends the accept loop and waits for the accept thread.
    void Cancel();

    // The port actually bound (useful after Listen(0)).
    std::uint16_t Port() const;
    CConnCounter& Counter() { return m_counter; }
    // Browser connections held at once; beyond it a new connection gets a
    // short 503 and is closed. Before Listen: 0 lets Listen derive it from
    // the open-file limit (os/Limits.h).
    std::uint32_t MaxConnections() const { return m_maxConnections; }
    void SetMaxConnections(std::uint32_t n) { m_maxConnections = n; }

private:
    void AcceptLoop();
    void StartConnection(int fd, const CNetAddress& peerAddress);
    void Refuse(int fd);

    int m_fd = -1;
    std::atomic<bool> m_stopping{false};
    std::uint32_t m_maxConnections = 0;
    std::thread m_acceptThread;
    CConnCounter m_counter;
};
