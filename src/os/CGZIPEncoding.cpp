#include "os/CGZIPEncoding.h"

#include "os/CBuffer.h"
#include "text/CIString.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned char kMagic1 = 0x1F;
constexpr unsigned char kMagic2 = 0x8B;
constexpr unsigned char kMethodDeflate = 8;
constexpr unsigned kFlagHeaderCrc = 2;
constexpr unsigned kFlagExtra = 4;
constexpr unsigned kFlagName = 8;
constexpr unsigned kFlagComment = 16;
constexpr unsigned kFlagsKnown = 31;
constexpr std::uint32_t kFixedHeader = 10;
constexpr std::uint32_t kTrailer = 8;

std::uint32_t LittleEndian32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

} // namespace

bool IsGzipEncoding(std::string_view text) {
    return EqualsNoCase(text, "gzip");
}

CGZIPEncoding::CGZIPEncoding() : m_crc(crc32(0L, Z_NULL, 0)) {
    // Raw deflate: the gzip wrapper is parsed here, so that a header split
    // over several reads is handled the same way as every other input.
    m_streamReady = inflateInit2(&m_stream, -MAX_WBITS) == Z_OK;
}

CGZIPEncoding::~CGZIPEncoding() {
    if (m_streamReady)
        inflateEnd(&m_stream);
}

DecodeResult CGZIPEncoding::Decode(CBuffer& in, CBuffer& out) {
    if (!m_streamReady)
        return kDecodeBroken;
    if (m_stage == Stage::Header) {
        const DecodeResult header = ParseHeader(in);
        if (header != kDecodeComplete)
            return header;
        m_stage = Stage::Data;
    }
    if (m_stage == Stage::Data) {
        const DecodeResult data = Inflate(in, out);
        if (data != kDecodeComplete)
            return data;
        m_stage = Stage::Trailer;
    }
    if (m_stage == Stage::Trailer)
        return CheckTrailer(in);
    return kDecodeComplete;
}

DecodeResult CGZIPEncoding::ParseHeader(CBuffer& in) {
    const std::string_view data = in.View();
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    const std::uint32_t size = static_cast<std::uint32_t>(data.size());
    if (size < kFixedHeader)
        return kDecodeMoreInput;
    if (p[0] != kMagic1 || p[1] != kMagic2 || p[2] != kMethodDeflate)
        return kDecodeBroken;
    const unsigned flags = p[3];
    if (flags > kFlagsKnown)
        return kDecodeBroken;
    // Bytes 4-9 (time, extra flags, operating system) carry nothing we need.
    std::uint32_t pos = kFixedHeader;
    if (flags & kFlagExtra) {
        if (size - pos < 2)
            return kDecodeMoreInput;
        const std::uint32_t extra = p[pos] | std::uint32_t(p[pos + 1]) << 8;
        pos += 2;
        if (size - pos < extra)
            return kDecodeMoreInput;
        pos += extra;
    }
    for (unsigned stringFlag : {kFlagName, kFlagComment}) {
        if (!(flags & stringFlag))
            continue;
        const void* nul = std::memchr(p + pos, 0, size - pos);
        if (nul == nullptr)
            return kDecodeMoreInput;
        pos = static_cast<std::uint32_t>(static_cast<const unsigned char*>(nul) - p) + 1;
    }
    if (flags & kFlagHeaderCrc) {
        if (size - pos < 2)
            return kDecodeMoreInput;
        // The low half of the CRC of everything before it: a header that
        // fails it is broken, as any other gzip reader finds.
        const std::uint32_t crc = crc32(0, p, pos) & 0xffffu;
        if ((p[pos] | std::uint32_t(p[pos + 1]) << 8) != crc)
            return kDecodeBroken;
        pos += 2;
    }
    in.Consume(pos);
    return kDecodeComplete;
}

DecodeResult CGZIPEncoding::Inflate(CBuffer& in, CBuffer& out) {
    // Room to offer zlib: the usual block first; if zlib cannot progress with
    // it, once more with twice as much.
    for (std::uint32_t attempt = 0; attempt < 2; ++attempt) {
        const std::uint32_t minFree = 8192u << attempt;
        const std::uint32_t grow = 16384u << attempt;
        const std::string_view input = in.View();

        std::uint32_t room = grow;
        char* target = out.BeginWrite(room, minFree);
        room = std::min(room, kMaxBlock);
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
        m_stream.avail_in = static_cast<uInt>(input.size());
        m_stream.next_out = reinterpret_cast<Bytef*>(target);
        m_stream.avail_out = room;
        const int rc = inflate(&m_stream, Z_NO_FLUSH);
        const std::uint32_t produced = room - m_stream.avail_out;
        const std::uint32_t taken = static_cast<std::uint32_t>(input.size()) - m_stream.avail_in;
        if (produced > 0)
            m_crc = crc32(m_crc, reinterpret_cast<const Bytef*>(target), produced);
        out.EndWrite(produced);
        m_stream.next_in = Z_NULL;
        m_stream.next_out = Z_NULL;
        m_size += produced;
        in.Consume(taken);

        switch (rc) {
        case Z_OK:
            return kDecodeMoreInput;
        case Z_STREAM_END:
            return kDecodeComplete;
        case Z_BUF_ERROR:
            // No progress. With all input used up that only means the next
            // bytes have not arrived yet.
            if (in.Empty())
                return kDecodeMoreInput;
            continue;
        default: // data error, dictionary wanted, stream or memory error
            return kDecodeBroken;
        }
    }
    return kDecodeBroken;
}

DecodeResult CGZIPEncoding::CheckTrailer(CBuffer& in) {
    // The trailer may arrive in a later read than the end of the deflate data.
    if (in.Size() < kTrailer)
        return kDecodeMoreInput;
    const auto* p = reinterpret_cast<const unsigned char*>(in.Data());
    const bool intact = LittleEndian32(p) == m_crc && LittleEndian32(p + 4) == m_size;
    in.Consume(kTrailer);
    m_stage = Stage::Done;
    return intact ? kDecodeComplete : kDecodeBroken;
}
