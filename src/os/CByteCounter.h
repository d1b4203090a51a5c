#pragma once

#include <cstdint>

// Where a socket counts the bytes it moves. The socket layer knows nothing of
// groups or statistics files; the statistics implement this.
class CByteCounter {
public:
    enum Bytes : int {
        BytesSentToClient = 0,
        BytesSentToServer,
        BytesReceivedFromClient,
        BytesReceivedFromServer,
        kBytesCount
    };

    virtual void AddBytes(Bytes counter, std::uint64_t n) = 0;

protected:
    CByteCounter() = default;
    ~CByteCounter() = default;
};
