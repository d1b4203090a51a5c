#include "os/CBuffer.h"
#include "os/CException.h"
#include "os/CGZIPEncoding.h"
#include "os/CUnixSocket.h"
#include "support/SocketTestSupport.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <zlib.h>

using testsupport::SocketPair;

namespace {

struct GzipOptions {
    std::string extra;
    std::string name;
    std::string comment;
    bool headerCrc = false;
};

std::string RawDeflate(const std::string& data) {
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, data.size()) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

void PutLE32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string Gzip(const std::string& data, const GzipOptions& options = {}) {
    std::string out = {'\x1f', '\x8b', 8, 0, 1, 2, 3, 4, 0, 3};
    unsigned flags = 0;
    if (!options.extra.empty()) {
        flags |= 4;
        out.push_back(static_cast<char>(options.extra.size() & 0xFF));
        out.push_back(static_cast<char>(options.extra.size() >> 8));
        out += options.extra;
    }
    if (!options.name.empty()) {
        flags |= 8;
        out += options.name;
        out.push_back('\0');
    }
    if (!options.comment.empty()) {
        flags |= 16;
        out += options.comment;
        out.push_back('\0');
    }
    out[3] = static_cast<char>(flags | (options.headerCrc ? 2 : 0));
    if (options.headerCrc) {
        const auto crc =
            crc32(0, reinterpret_cast<const Bytef*>(out.data()), static_cast<uInt>(out.size()));
        out.push_back(static_cast<char>(crc & 0xFF));
        out.push_back(static_cast<char>((crc >> 8) & 0xFF));
    }
    out += RawDeflate(data);
    PutLE32(out, static_cast<std::uint32_t>(
                     crc32(0, reinterpret_cast<const Bytef*>(data.data()), data.size())));
    PutLE32(out, static_cast<std::uint32_t>(data.size()));
    return out;
}

std::string Text(std::size_t n) {
    std::string text;
    for (std::size_t i = 0; text.size() < n; ++i)
        text += "<p>line " + std::to_string(i * 7919 % 1000) + " of the page</p>\n";
    text.resize(n);
    return text;
}

// Feeds encoded to a fresh decoder in two pieces split at cut; returns the
// outcome and the decoded bytes.
std::pair<int, std::string> DecodeSplit(const std::string& encoded, std::size_t cut) {
    CGZIPEncoding decoder;
    CBuffer in, out;
    in.Append(std::string_view(encoded).substr(0, cut));
    int result = 0;
    for (int i = 0; i < 1000 && result == 0; ++i) {
        const std::uint32_t before = out.Size();
        result = decoder.Decode(in, out);
        if (result == 0 && out.Size() == before) {
            if (cut >= encoded.size())
                break;
            in.Append(std::string_view(encoded).substr(cut));
            cut = encoded.size();
        }
    }
    return {result, std::string(out.View())};
}

} // namespace

TEST(GZIPEncoding, NamesTheGzipCodingOnly) {
    EXPECT_TRUE(IsGzipEncoding("GZip"));
    for (const char* other : {"x-gzip", "gzip, deflate", "deflate", ""})
        EXPECT_FALSE(IsGzipEncoding(other)) << other;

    CGenericEncoding identity;
    CBuffer in, out;
    in.Append("abc");
    EXPECT_EQ(identity.Decode(in, out), kDecodeComplete);
    EXPECT_EQ(in.View(), "abc");
    EXPECT_TRUE(out.Empty());

    CUnixSocket socket;
    EXPECT_TRUE(socket.SetupDecoder("GZIP"));
    EXPECT_NE(socket.Decoder(), nullptr);
    EXPECT_FALSE(socket.SetupDecoder("x-gzip"));
    EXPECT_EQ(socket.Decoder(), nullptr);
}

TEST(GZIPEncoding, DecodesAStreamSplitAtEveryByte) {
    const std::string text = Text(3000);
    for (const GzipOptions& options :
         {GzipOptions{},
          GzipOptions{"ab\0cd" + std::string(300, 'x'), "page.html", "made for a test", true}}) {
        const std::string encoded = Gzip(text, options);
        for (std::size_t cut = 0; cut <= encoded.size(); ++cut) {
            const auto [result, decoded] = DecodeSplit(encoded, cut);
            ASSERT_EQ(result, kDecodeComplete) << "cut at " << cut;
            ASSERT_EQ(decoded, text) << "cut at " << cut;
        }
    }
}

TEST(GZIPEncoding, BrokenStreamsAreReportedBroken) {
    const std::string good = Gzip(Text(2000));
    // Offset and new byte: CRC, size, magic, a reserved flag, a bad deflate block type.
    const std::pair<std::size_t, char> damages[] = {{good.size() - 8, good[good.size() - 8] ^ 1},
                                                    {good.size() - 1, good.back() ^ 1},
                                                    {1, 'x'},
                                                    {3, 32},
                                                    {10, '\xff'}};
    for (const auto& [at, byte] : damages) {
        std::string bad = good;
        bad[at] = byte;
        EXPECT_EQ(DecodeSplit(bad, bad.size()).first, kDecodeBroken) << at;
    }
    // A header CRC that does not match its header.
    std::string badHeader = Gzip(Text(2000), GzipOptions{"", "", "", true});
    badHeader[10] ^= 1;
    EXPECT_EQ(DecodeSplit(badHeader, badHeader.size()).first, kDecodeBroken);
}

TEST(GZIPEncoding, WaitsForATrailerThatArrivesLate) {
    const std::string text = Text(500);
    const std::string encoded = Gzip(text);
    CGZIPEncoding decoder;
    CBuffer in, out;
    in.Append(std::string_view(encoded).substr(0, encoded.size() - 5));
    int result = kDecodeMoreInput;
    for (int i = 0; i < 10 && result == kDecodeMoreInput; ++i) {
        const std::uint32_t before = out.Size();
        result = decoder.Decode(in, out);
        if (out.Size() == before)
            break;
    }
    EXPECT_EQ(result, kDecodeMoreInput);
    EXPECT_EQ(out.View(), text);
    EXPECT_EQ(in.Size(), 3u); // the partial trailer stays unread
    in.Append(std::string_view(encoded).substr(encoded.size() - 5));
    EXPECT_EQ(decoder.Decode(in, out), kDecodeComplete);
    EXPECT_TRUE(in.Empty());
}

TEST(GZIPEncoding, SocketDecodesPlainAndChunkedBodies) {
    const std::string text = Text(20000);
    const std::string encoded = Gzip(text, {"", "x.html", "", false});
    {
        // A body with a length, arriving in small pieces.
        CUnixSocket socket; // outlives the peer: its close need not drain
        SocketPair pair;
        socket.Attach(pair.ours);
        socket.SetBodyBytesLeft(static_cast<std::int64_t>(encoded.size()));
        socket.SetKeepAlive(true);
        ASSERT_TRUE(socket.SetupDecoder("gzip"));
        std::thread writer([&] {
            for (std::size_t i = 0; i < encoded.size(); i += 700) {
                pair.Write(std::string_view(encoded).substr(i, 700));
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        CBuffer out;
        for (int i = 0; i < 10000 && socket.Read(out) > 0; ++i) {
        }
        writer.join();
        EXPECT_EQ(out.View(), text);
        EXPECT_TRUE(socket.EndOfData());
        EXPECT_TRUE(socket.KeepAlive());
        EXPECT_EQ(socket.BodyBytesLeft(), 0);
    }
    {
        // Chunked, with chunks that cut the gzip header apart.
        CUnixSocket socket; // outlives the peer: its close need not drain
        SocketPair pair;
        socket.Attach(pair.ours);
        socket.SetChunkedInput(true);
        ASSERT_TRUE(socket.SetupDecoder("gzip"));
        std::string framed;
        for (std::size_t i = 0; i < encoded.size(); i += 7) {
            const std::string piece = encoded.substr(i, 7);
            char size[16];
            std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
            framed += size + piece + "\r\n";
        }
        framed += "0\r\n\r\n";
        std::thread writer([&] { pair.Write(framed); });
        CBuffer out;
        for (int i = 0; i < 100000 && socket.Read(out) > 0; ++i) {
        }
        writer.join();
        EXPECT_EQ(out.View(), text);
        EXPECT_TRUE(socket.EndOfData());
    }
}

TEST(GZIPEncoding, TruncatedOrCorruptBodyGivesTheInternalError) {
    const std::string encoded = Gzip(Text(5000));
    for (const std::string& body :
         {encoded.substr(0, encoded.size() / 2), encoded.substr(0, encoded.size() - 3)}) {
        CUnixSocket socket; // outlives the peer: its close need not drain
        SocketPair pair;
        socket.Attach(pair.ours);
        socket.SetupDecoder("gzip");
        pair.Write(body);
        pair.ClosePeer();
        CBuffer out;
        try {
            for (int i = 0; i < 1000 && socket.Read(out) > 0; ++i) {
            }
            ADD_FAILURE() << "a cut-off stream passed as complete";
        } catch (const CHTMLErrException& e) {
            EXPECT_EQ(e.Status(), 500);
            EXPECT_EQ(e.TemplateName(), "internalerr.html");
        }
    }
}

TEST(GZIPEncoding, ABombStreamsInBoundedBlocks) {
    // 32 MiB of zeros deflate to about 32 KiB: a 1000 to 1 body.
    const std::size_t inflated = 32u << 20;
    const std::string encoded = Gzip(std::string(inflated, '\0'));
    ASSERT_LT(encoded.size() * 1000, inflated + 100000);

    CUnixSocket socket;
    SocketPair pair;
    socket.Attach(pair.ours);
    socket.SetupDecoder("gzip");
    std::thread writer([&] {
        pair.Write(encoded);
        pair.ClosePeer();
    });
    CBuffer out;
    std::uint64_t total = 0;
    std::uint32_t largestBlock = 0;
    std::uint32_t largestCapacity = 0;
    for (int i = 0; i < 100000; ++i) {
        const std::uint32_t n = socket.Read(out);
        if (n == 0)
            break;
        total += n;
        largestBlock = std::max(largestBlock, n);
        largestCapacity = std::max(largestCapacity, out.Capacity());
        out.Clear(16384); // the relay sends each block on and forgets it
    }
    writer.join();
    EXPECT_EQ(total, inflated);
    EXPECT_TRUE(socket.EndOfData());
    EXPECT_LE(largestBlock, CGZIPEncoding::kMaxBlock);
    EXPECT_LE(largestCapacity, 2 * CGZIPEncoding::kMaxBlock);
}
