#pragma once

#include "os/CCriticalSection.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// Something that keeps offsets into a CBuffer (the HTML washer's tag trackers)
// and must hear about every insertion and erasure to keep them valid. Called
// with the buffer's lock held: an observer must not call back into the buffer.
// Every change that moves bytes already there tells the observers: Insert and
// Prepend as insertions, Erase, Consume and Clear as erasures (Consume and
// Clear at position 0). Appending moves nothing and tells nobody, so an offset
// stays valid across a socket's reads into the buffer.
class CBufferObserver {
public:
    virtual ~CBufferObserver() = default;
    virtual void Inserted(std::uint32_t pos, std::uint32_t n) = 0;
    virtual void Erased(std::uint32_t pos, std::uint32_t n) = 0;
};

// A thread-safe growable byte buffer. The data are the Size() bytes that begin
// at a start offset inside the storage, so dropping bytes at the front is cheap.
// Socket input, message bodies and the washers' working text all live in one.
class CBuffer {
public:
    // Consumed bytes at the front are only compacted away once this many have
    // piled up, so that a line-by-line reader does not copy the rest each time.
    static constexpr std::uint32_t kCompactThreshold = 2048;

    CBuffer() = default;
    ~CBuffer() = default;
    CBuffer(const CBuffer&) = delete;
    CBuffer& operator=(const CBuffer&) = delete;

    // Pointer to the first byte (null when nothing was ever stored). Valid until
    // the next operation that changes the buffer.
    char* Data();
    const char* Data() const;
    std::uint32_t Size() const;
    std::uint32_t Capacity() const;
    bool Empty() const { return Size() == 0; }
    // A view of the data; valid until the next change.
    std::string_view View() const;

    void Append(const void* data, std::uint32_t n);
    void Append(std::string_view text);
    void Prepend(const void* data, std::uint32_t n);
    // Inserts at pos (clamped to the length) and tells every observer.
    void Insert(std::uint32_t pos, const void* data, std::uint32_t n);
    // Erases n bytes at pos when n > 0 and pos + n is within the data, and
    // tells every observer. Returns the new length.
    std::uint32_t Erase(std::uint32_t pos, std::uint32_t n);
    // Drops min(n, Size()) bytes from the front.
    void Consume(std::uint32_t n);
    // Empties the buffer; frees the storage when the capacity exceeds limit.
    void Clear(std::uint32_t limit = 0);
    // Makes sure at least freeRoom bytes are free behind the data; when it has
    // to reallocate it leaves max(freeRoom, grow) bytes free.
    void Reserve(std::uint32_t freeRoom, std::uint32_t grow);

    // Opens the buffer for writing behind the data and keeps it locked until
    // EndWrite. When fewer than minFree bytes are free, the storage becomes
    // n + Size() bytes. On return n is the free room; the result is where to
    // write. Every BeginWrite must be paired with exactly one EndWrite.
    char* BeginWrite(std::uint32_t& n, std::uint32_t minFree);
    // Adds n written bytes to the data and unlocks.
    void EndWrite(std::uint32_t n);

    // Hands the storage over and leaves the buffer empty; the data are the
    // length bytes at start.
    std::unique_ptr<char[]> Detach(std::uint32_t& start, std::uint32_t& length);

    void AddObserver(CBufferObserver* observer);
    void RemoveObserver(CBufferObserver* observer);

private:
    // Moves the data to offset 0 of a new allocation of exactly newCapacity bytes.
    void Reallocate(std::uint32_t newCapacity);
    std::uint32_t FreeRoom() const { return m_capacity - m_start - m_length; }

    mutable CCriticalSection m_lock;
    std::unique_ptr<char[]> m_storage;
    std::uint32_t m_capacity = 0;
    std::uint32_t m_start = 0;
    std::uint32_t m_length = 0;
    std::vector<CBufferObserver*> m_observers;
};
