#include "os/CBuffer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

// Sizes are 32-bit; a request that would overflow them is a logic error, not
// something to wrap around silently.
std::uint32_t Sum(std::uint32_t a, std::uint32_t b) {
    if (b > UINT32_MAX - a)
        throw std::length_error("CBuffer: size overflow");
    return a + b;
}

} // namespace

char* CBuffer::Data() {
    StCritical lock(m_lock);
    return m_storage ? m_storage.get() + m_start : nullptr;
}

const char* CBuffer::Data() const {
    StCritical lock(m_lock);
    return m_storage ? m_storage.get() + m_start : nullptr;
}

std::uint32_t CBuffer::Size() const {
    StCritical lock(m_lock);
    return m_length;
}

std::uint32_t CBuffer::Capacity() const {
    StCritical lock(m_lock);
    return m_capacity;
}

std::string_view CBuffer::View() const {
    StCritical lock(m_lock);
    return m_storage ? std::string_view(m_storage.get() + m_start, m_length) : std::string_view();
}

void CBuffer::Reallocate(std::uint32_t newCapacity) {
    if (newCapacity == 0) {
        m_storage.reset();
    } else {
        auto storage = std::make_unique_for_overwrite<char[]>(newCapacity);
        if (m_length > 0)
            std::memcpy(storage.get(), m_storage.get() + m_start, m_length);
        m_storage = std::move(storage);
    }
    m_capacity = newCapacity;
    m_start = 0;
}

void CBuffer::Append(const void* data, std::uint32_t n) {
    if (n == 0)
        return;
    StCritical lock(m_lock);
    if (Sum(Sum(m_start, m_length), n) > m_capacity)
        Reallocate(Sum(m_length, n));
    std::memcpy(m_storage.get() + m_start + m_length, data, n);
    m_length += n;
}

void CBuffer::Append(std::string_view text) {
    Append(text.data(), static_cast<std::uint32_t>(text.size()));
}

void CBuffer::Prepend(const void* data, std::uint32_t n) {
    if (n == 0)
        return;
    StCritical lock(m_lock);
    const std::uint32_t total = Sum(n, m_length);
    auto storage = std::make_unique_for_overwrite<char[]>(total);
    std::memcpy(storage.get(), data, n);
    if (m_length > 0)
        std::memcpy(storage.get() + n, m_storage.get() + m_start, m_length);
    m_storage = std::move(storage);
    m_capacity = total;
    m_start = 0;
    m_length = total;
    for (CBufferObserver* observer : m_observers)
        observer->Inserted(0, n);
}

void CBuffer::Insert(std::uint32_t pos, const void* data, std::uint32_t n) {
    StCritical lock(m_lock);
    if (n == 0)
        return;
    pos = std::min(pos, m_length);
    if (Sum(Sum(m_start, m_length), n) > m_capacity)
        Reallocate(Sum(m_length, n));
    char* at = m_storage.get() + m_start + pos;
    std::memmove(at + n, at, m_length - pos);
    std::memcpy(at, data, n);
    m_length += n;
    for (CBufferObserver* observer : m_observers)
        observer->Inserted(pos, n);
}

std::uint32_t CBuffer::Erase(std::uint32_t pos, std::uint32_t n) {
    StCritical lock(m_lock);
    if (n == 0 || pos > m_length || n > m_length - pos)
        return m_length;
    char* at = m_storage.get() + m_start + pos;
    std::memmove(at, at + n, m_length - pos - n);
    m_length -= n;
    for (CBufferObserver* observer : m_observers)
        observer->Erased(pos, n);
    return m_length;
}

void CBuffer::Consume(std::uint32_t n) {
    StCritical lock(m_lock);
    n = std::min(n, m_length);
    m_start += n;
    m_length -= n;
    if (n > 0)
        for (CBufferObserver* observer : m_observers)
            observer->Erased(0, n);
    // An emptied buffer gives its storage back, so that thousands of idle
    // kept-alive connections hold no input storage.
    if (m_length == 0)
        Reallocate(0);
    else if (m_start >= kCompactThreshold)
        Reallocate(m_length);
}

void CBuffer::Clear(std::uint32_t limit) {
    StCritical lock(m_lock);
    const std::uint32_t dropped = m_length;
    m_start = 0;
    m_length = 0;
    if (dropped > 0)
        for (CBufferObserver* observer : m_observers)
            observer->Erased(0, dropped);
    if (m_capacity > limit)
        Reallocate(0);
}

void CBuffer::Reserve(std::uint32_t freeRoom, std::uint32_t grow) {
    StCritical lock(m_lock);
    if (FreeRoom() < freeRoom)
        Reallocate(Sum(m_length, std::max(freeRoom, grow)));
}

char* CBuffer::BeginWrite(std::uint32_t& n, std::uint32_t minFree) {
    m_lock.Lock();
    try {
        if (FreeRoom() < minFree || FreeRoom() == 0)
            Reallocate(Sum(std::max(n, minFree), m_length));
    } catch (...) {
        m_lock.Unlock();
        throw;
    }
    n = FreeRoom();
    return m_storage.get() + m_start + m_length;
}

void CBuffer::EndWrite(std::uint32_t n) {
    m_length += std::min(n, FreeRoom());
    m_lock.Unlock();
}

std::unique_ptr<char[]> CBuffer::Detach(std::uint32_t& start, std::uint32_t& length) {
    StCritical lock(m_lock);
    start = m_start;
    length = m_length;
    m_capacity = 0;
    m_start = 0;
    m_length = 0;
    return std::move(m_storage);
}

void CBuffer::AddObserver(CBufferObserver* observer) {
    StCritical lock(m_lock);
    m_observers.push_back(observer);
}

void CBuffer::RemoveObserver(CBufferObserver* observer) {
    StCritical lock(m_lock);
    auto it = std::find(m_observers.begin(), m_observers.end(), observer);
    if (it != m_observers.end())
        m_observers.erase(it);
}
