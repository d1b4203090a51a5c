#pragma once

#include <atomic>
#include <cstddef>

// The kernel pipe through which a connection thread moves bytes from one
// socket to another with splice(2), so that they never enter user space. Made
// on first use and closed when a request is done, so that an idle connection
// holds no descriptors for it. Not thread-safe: one per connection thread.
class CSplicePipe {
public:
    // The capacities asked for, in turn: a block per call as large as the
    // default limit for pipes lets every user have (fewer calls, and the two
    // sockets' buffers stay busier), else a quarter of it. A pipe smaller
    // than the minimum moves too little per call to be worth it.
    static constexpr std::size_t kWantedSize = 1024 * 1024;
    static constexpr std::size_t kFallbackSize = 256 * 1024;
    static constexpr std::size_t kMinimumSize = 64 * 1024;

    CSplicePipe() = default;
    ~CSplicePipe();
    CSplicePipe(const CSplicePipe&) = delete;
    CSplicePipe& operator=(const CSplicePipe&) = delete;

    // Whether splicing works in this process: false once the kernel refused
    // splice for a socket, or pipes could not be made large enough.
    static bool Available() { return s_available.load(std::memory_order_relaxed); }
    // Switches splicing off for good in this process (the kernel or the
    // descriptors do not support it); every transfer then copies.
    static void Disable() { s_available.store(false, std::memory_order_relaxed); }

    // Makes the pipe unless it is open; false when there is none to use.
    bool Open();
    // Closes both ends; bytes still inside are dropped with it.
    void Close();
    bool IsOpen() const { return m_read >= 0; }
    int ReadEnd() const { return m_read; }
    int WriteEnd() const { return m_write; }
    // The capacity of the open pipe.
    std::size_t Size() const { return m_size; }

private:
    static std::atomic<bool> s_available;
    int m_read = -1;
    int m_write = -1;
    std::size_t m_size = 0;
};
