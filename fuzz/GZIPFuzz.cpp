// A gzip body from a server, fed to the decoder in pieces of any size. What
// the decoder calls a complete stream, zlib's own gzip reader must read to
// the same bytes; the decoder never returns more than its block per call.
#include "os/CBuffer.h"
#include "os/CGZIPEncoding.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <zlib.h>

namespace {

constexpr std::size_t kMaxOutput = 1 << 20; // inflation bombs stop here

// zlib's reading of one gzip member at the front of data; false when it
// finds the data broken before the end of the member or the output limit.
bool Reference(std::string_view data, std::string& out) {
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        std::abort();
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    int rc = Z_OK;
    char block[16384];
    while (rc == Z_OK && out.size() < kMaxOutput) {
        stream.next_out = reinterpret_cast<Bytef*>(block);
        stream.avail_out = sizeof block;
        rc = inflate(&stream, Z_NO_FLUSH);
        out.append(block, sizeof block - stream.avail_out);
        if (rc == Z_BUF_ERROR && stream.avail_in == 0)
            break;
    }
    inflateEnd(&stream);
    return rc == Z_STREAM_END;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::size_t step = 1 + data[0] % 64;
    const std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
    CGZIPEncoding decoder;
    CBuffer in, out;
    std::size_t fed = 0;
    DecodeResult result = kDecodeMoreInput;
    for (std::size_t round = 0; round < 4 * size + 64 && out.Size() < kMaxOutput; ++round) {
        if (in.Empty() || result == kDecodeMoreInput) {
            const std::size_t n = std::min(step, body.size() - fed);
            in.Append(body.data() + fed, static_cast<std::uint32_t>(n));
            fed += n;
        }
        const std::uint32_t before = out.Size();
        result = decoder.Decode(in, out);
        if (out.Size() - before > CGZIPEncoding::kMaxBlock)
            std::abort();
        if (result != kDecodeMoreInput)
            break;
        if (fed == body.size() && out.Size() == before && in.Empty())
            break;
    }
    if (result == kDecodeComplete) {
        std::string expected;
        if (!Reference(body, expected) || expected != out.View())
            std::abort();
    }
    return 0;
}
