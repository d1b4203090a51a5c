#pragma once

#include <mutex>

// A plain, non-recursive mutex. Every shared object embeds one and takes it with
// StCritical for the whole of an operation; no operation holds two at once.
class CCriticalSection {
public:
    CCriticalSection() = default;
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }
    bool TryLock() { return m_mutex.try_lock(); }

    // For std::condition_variable_any and std::scoped_lock.
    void lock() { Lock(); }
    void unlock() { Unlock(); }
    bool try_lock() { return TryLock(); }

private:
    std::mutex m_mutex;
};

// Holds a critical section for the life of a scope.
class StCritical {
public:
    explicit StCritical(CCriticalSection& section) : m_section(section) { m_section.Lock(); }
    ~StCritical() { m_section.Unlock(); }
    StCritical(const StCritical&) = delete;
    StCritical& operator=(const StCritical&) = delete;

private:
    CCriticalSection& m_section;
};
