#pragma once

#include <mutex>
#include <shared_mutex>

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

// A mutex that many readers may hold at once, for shared objects whose
// lookups far outnumber their edits (the filter lists every washed link asks).
class CSharedSection {
public:
    CSharedSection() = default;
    CSharedSection(const CSharedSection&) = delete;
    CSharedSection& operator=(const CSharedSection&) = delete;

    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }
    void LockShared() { m_mutex.lock_shared(); }
    void UnlockShared() { m_mutex.unlock_shared(); }

private:
    std::shared_mutex m_mutex;
};

// Holds a critical section (alone, also a shared one) for the life of a scope.
template <class Section> class StCritical {
public:
    explicit StCritical(Section& section) : m_section(section) { m_section.Lock(); }
    ~StCritical() { m_section.Unlock(); }
    StCritical(const StCritical&) = delete;
    StCritical& operator=(const StCritical&) = delete;

private:
    Section& m_section;
};

// Holds a shared section for reading, beside other readers.
class StShared {
public:
    explicit StShared(CSharedSection& section) : m_section(section) { m_section.LockShared(); }
    ~StShared() { m_section.UnlockShared(); }
    StShared(const StShared&) = delete;
    StShared& operator=(const StShared&) = delete;

private:
    CSharedSection& m_section;
};
