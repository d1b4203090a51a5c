#pragma once

#include "os/CCriticalSection.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>

class CStatistic;

// The registry of open browser connections: numbers them from 1, counts them,
// and lets a graceful stop abort every one and wait for its thread to end.
class CConnCounter {
public:
    // Wakes the connection's thread from another thread. It is called with the
    // counter's lock held, and only while the connection is registered, so the
    // connection's descriptors cannot have been closed and reused under it.
    using AbortFn = std::function<void()>;

    struct Entry {
        std::uint32_t number;
        AbortFn abort;
    };
    using Handle = std::list<Entry>::iterator;
    struct Registration {
        Handle handle;
        std::uint32_t number;
    };

    // statistic: the default group's, which counts the connections; may be
    // null.
    explicit CConnCounter(CStatistic* statistic = nullptr) : m_statistic(statistic) {}
    // Aborts every open connection and waits until all have unregistered.
    ~CConnCounter();
    CConnCounter(const CConnCounter&) = delete;
    CConnCounter& operator=(const CConnCounter&) = delete;

    Registration Register(AbortFn abort);
    // Must come before the connection closes its descriptors.
    void Unregister(Handle handle);

    void AbortAllAndWait();
    // A connection that the listener turned away because the bound was reached.
    void CountRefused();

    std::uint32_t Total();
    std::uint32_t Active();
    std::uint32_t Refused();

private:
    CStatistic* m_statistic;
    CCriticalSection m_lock;
    std::condition_variable_any m_changed;
    std::uint32_t m_total = 0;
    std::uint32_t m_active = 0;
    std::uint32_t m_refused = 0;
    std::list<Entry> m_open;
};
