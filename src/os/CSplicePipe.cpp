#include "os/CSplicePipe.h"

#include <fcntl.h>
#include <unistd.h>

std::atomic<bool> CSplicePipe::s_available{true};

CSplicePipe::~CSplicePipe() {
    Close();
}

bool CSplicePipe::Open() {
    if (IsOpen())
        return true;
    if (!Available())
        return false;
    int ends[2];
    // Non-blocking: a pipe is only ever filled when it is empty and emptied
    // right after, so a wait on it would be a fault, never a need.
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return false; // out of descriptors for now: this transfer copies
    m_read = ends[0];
    m_write = ends[1];
    // A user near the pipe quota, or a lower pipe-max-size, keeps a smaller
    // pipe, perhaps the default one.
    if (::fcntl(m_write, F_SETPIPE_SZ, static_cast<int>(kWantedSize)) < 0)
        ::fcntl(m_write, F_SETPIPE_SZ, static_cast<int>(kFallbackSize));
    const int size = ::fcntl(m_write, F_GETPIPE_SZ);
    if (size < static_cast<int>(kMinimumSize)) {
        Close();
        return false;
    }
    m_size = static_cast<std::size_t>(size);
    return true;
}

void CSplicePipe::Close() {
    if (m_read >= 0)
        ::close(m_read);
    if (m_write >= 0)
        ::close(m_write);
    m_read = -1;
    m_write = -1;
    m_size = 0;
}
