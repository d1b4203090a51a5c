#include "proxy/CConnCounter.h"

#include "stats/CStatistic.h"

CConnCounter::~CConnCounter() {
    AbortAllAndWait();
}

CConnCounter::Registration CConnCounter::Register(AbortFn abort) {
    // Outside the counter's lock: no operation holds two locks.
    if (m_statistic != nullptr)
        m_statistic->ConnectionOpened();
    StCritical guard(m_lock);
    ++m_total;
    ++m_active;
    m_open.push_back(Entry{m_total, std::move(abort)});
    return Registration{std::prev(m_open.end()), m_total};
}

void CConnCounter::Unregister(Handle handle) {
    if (m_statistic != nullptr)
        m_statistic->ConnectionClosed();
    StCritical guard(m_lock);
    --m_active;
    m_open.erase(handle);
    // Notified under the lock: once the waiter sees the list empty it may
    // destroy the counter, and by then this thread has let go of it.
    m_changed.notify_all();
}

void CConnCounter::AbortAllAndWait() {
    m_lock.Lock();
    for (Entry& entry : m_open)
        entry.abort();
    // Woken by every unregistration rather than polling once a second, so a
    // stop finishes as soon as the last connection has gone.
    m_changed.wait(m_lock, [this] { return m_open.empty(); });
    m_lock.Unlock();
}

std::uint32_t CConnCounter::Total() {
    StCritical guard(m_lock);
    return m_total;
}

std::uint32_t CConnCounter::Active() {
    StCritical guard(m_lock);
    return m_active;
}

void CConnCounter::CountRefused() {
    if (m_statistic != nullptr)
        m_statistic->ConnectionRefused();
    StCritical guard(m_lock);
    ++m_refused;
}

std::uint32_t CConnCounter::Refused() {
    StCritical guard(m_lock);
    return m_refused;
}
