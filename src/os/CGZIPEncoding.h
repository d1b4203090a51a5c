#pragma once

#include "os/CGenericEncoding.h"

#include <cstdint>
#include <string_view>
#include <zlib.h>

// True when a Content-Encoding value names the gzip coding: exactly "gzip" in
// any case. "x-gzip" and lists of codings do not count.
bool IsGzipEncoding(std::string_view text);

// Decodes a gzip body as it streams in: header, raw deflate data, trailer.
class CGZIPEncoding : public CGenericEncoding {
public:
    // Most output one Decode call produces.
    static constexpr std::uint32_t kMaxBlock = 65536;

    CGZIPEncoding();
    ~CGZIPEncoding() override;

    DecodeResult Decode(CBuffer& in, CBuffer& out) override;

private:
    enum class Stage { Header, Data, Trailer, Done };

    // Parses the gzip header at the front of in; consumes it only when all of
    // it has arrived.
    DecodeResult ParseHeader(CBuffer& in);
    DecodeResult Inflate(CBuffer& in, CBuffer& out);
    DecodeResult CheckTrailer(CBuffer& in);

    std::uint32_t m_crc;
    std::uint32_t m_size = 0; // bytes inflated, modulo 2^32 like the trailer's
    z_stream m_stream{};
    bool m_streamReady = false;
    Stage m_stage = Stage::Header;
};
