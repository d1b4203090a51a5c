#include "stats/CStatistic.h"

CStatistic::CStatistic(CStatistic* parent) : m_parent(parent) {}

// Not kept in a file yet: the statistics file comes with the statistics page.
CStatistic::CStatistic(CStatistic* parent, std::string_view /*group*/) : m_parent(parent) {}

CStatistic::~CStatistic() = default;

void CStatistic::Increment(Event event) {
    // The parent first, so that no increment ever holds two counter locks.
    if (m_parent != nullptr)
        m_parent->Increment(event);
    StCritical guard(m_counterLock);
    ++m_events[event];
}

void CStatistic::AddBytes(Bytes counter, std::uint64_t n) {
    if (m_parent != nullptr)
        m_parent->AddBytes(counter, n);
    StCritical guard(m_counterLock);
    m_bytes[counter] += n;
}

std::uint32_t CStatistic::Counter(Event event) {
    StCritical guard(m_counterLock);
    return m_events[event];
}

std::uint64_t CStatistic::ByteCount(Bytes counter) {
    StCritical guard(m_counterLock);
    return m_bytes[counter];
}

void CStatistic::ConnectionOpened() {
    StCritical guard(m_counterLock);
    ++m_activeConnections;
    ++m_connections;
}

void CStatistic::ConnectionClosed() {
    StCritical guard(m_counterLock);
    --m_activeConnections;
}

std::uint32_t CStatistic::ActiveConnections() {
    StCritical guard(m_counterLock);
    return m_activeConnections;
}

std::uint32_t CStatistic::Connections() {
    StCritical guard(m_counterLock);
    return m_connections;
}
