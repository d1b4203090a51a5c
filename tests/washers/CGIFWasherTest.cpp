#include "washers/CGIFWasher.h"

#include "support/GIFImages.h"
#include "support/HeadLines.h"
#include "support/Pump.h"
#include "support/TempDir.h"
#include "support/TestFiles.h"

#include "os/CBuffer.h"
#include "settings/CSetWhiteList.h"
#include "settings/CSettings.h"
#include "stats/CStatistic.h"
#include "web/CInternalGIFRequestHandler.h"

#include <gtest/gtest.h>

#include <map>

using namespace std::string_view_literals;

namespace {

// The GIF as it is, but with the global colour table moved into the first
// image as its local table, so that the walk must skip a local table before
// it meets the second image. The recipe it is used on puts only a graphic
// control extension (8 bytes) before the first image.
std::string FirstTableLocal(const std::string& gif) {
    const auto packed = static_cast<unsigned char>(gif[10]);
    const std::size_t table = 3u << ((packed & 7) + 1);
    const std::size_t descriptor = 13 + table + 8;
    if (!(packed & 0x80) || gif.size() <= descriptor + 10 || gif[descriptor] != ',')
        return {};
    std::string out = gif.substr(0, 13);
    out[10] = static_cast<char>(packed & 0x7F);
    out += gif.substr(13 + table, descriptor + 9 - 13 - table);
    out += static_cast<char>(0x80 | (packed & 7));
    out += gif.substr(13, table);
    out += gif.substr(descriptor + 10);
    return out;
}

// Real GIFs, made once by ImageMagick (the frames are 8x8 or 16x16 pixels).
// "-loop 1" writes no loop extension at all.
const std::map<std::string, std::string>& Images() {
    static const std::map<std::string, std::string> images = [] {
        const char* recipes[][2] = {
            {"static", "-size 8x8 xc:red"},
            {"static87", "-size 8x8 xc:red GIF87:"},
            {"loop", "-size 8x8 xc:red xc:blue xc:lime -loop 0"},
            {"noloop", "-size 8x8 xc:red xc:blue -loop 1"},
            {"local", "-size 16x16 gradient:red-blue gradient:green-yellow -loop 0"},
            {"localnoloop", "-size 16x16 gradient:red-blue gradient:green-yellow -loop 1"},
            {"interlaced", "-size 16x16 gradient:red-blue gradient:green-yellow -interlace GIF"},
            {"banner", "-size 468x60 xc:red"},
        };
        std::map<std::string, std::string> made;
        for (const auto& [name, args] : recipes)
            if (std::string gif = testsupport::MakeGIF(args); !gif.empty())
                made[name] = std::move(gif);
        if (made.count("localnoloop"))
            made["localfirst"] = FirstTableLocal(made["localnoloop"]);
        return made;
    }();
    return images;
}

const std::string& Image(const std::string& name) {
    static const std::string none;
    const auto it = Images().find(name);
    return it == Images().end() ? none : it->second;
}

using testsupport::IdentifyGIF;

enum Mode { kOff, kFirst, kRepeat, kNoAnim };

// Low byte first on the wire, so both bytes of the count are checked.
constexpr int kRepeatCount = 258;

struct Washing {
    CSettings* settings = new CSettings("", nullptr, true);
    CSettingsRef<const CSettings> ref = CSettingsRef<const CSettings>::Adopt(settings);
    CStatistic statistic;
    CConnInfo request;

    explicit Washing(Mode mode, const char* referer = "http://www.example.org/page.html") {
        std::vector<std::string> lines{"GET http://www.example.org/a.gif HTTP/1.1"};
        if (*referer)
            lines.push_back(std::string("Referer: ") + referer);
        request = ParseLines(lines, CConnInfo::kParseRequest | CConnInfo::kParseOnly);
        Set(CSettings::kAnimFilterEnabled, mode != kOff);
        Set(CSettings::kAnimFilterRepeat, mode == kRepeat);
        Set(CSettings::kAnimFilterNoAnim, mode == kNoAnim);
        settings->Int(CSettings::kAnimFilterRepeatCount).Set(kRepeatCount);
        Set(CSettings::kDimFilterEnabled, true);
        Set(CSettings::kDimFilterImages, true);
    }
    void Set(CSettings::Flag flag, bool on) { settings->Flags(flag.word).SetBit(flag.bit, on); }

    WasherContext Context(CBuffer& body) { return {ref, &statistic, &request, 0, &body}; }
    testsupport::Pumped Pump(std::string_view body, std::vector<std::size_t> sizes) {
        return testsupport::PumpBlocks(
            [&](CBuffer& buffer) { return CGIFWasher::Create(Context(buffer)); }, body,
            std::move(sizes));
    }
    std::uint32_t Filtered() { return statistic.Counter(CStatistic::FilteredImages); }
};

// The block sizes every result must survive: whole, byte by byte, odd sizes.
const std::vector<std::vector<std::size_t>> kSplits = {{1u << 20}, {1}, {2}, {7}, {13, 5}, {64}};

} // namespace

class GIFWasher : public ::testing::Test {
protected:
    void SetUp() override {
        if (Image("loop").empty() || Image("localfirst").empty())
            GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
};

TEST_F(GIFWasher, EachModeAcrossSplits) {
    const std::string trans(CInternalGIFRequestHandler::TransparentImage());
    enum Bytes { kSame, kFirstAndTrailer, kLoopCount, kTrans };
    struct Case {
        const char* image;
        Mode mode;
        Bytes bytes;
        const char* identify; // frames and loop count of the output, as IdentifyGIF
        std::uint32_t filtered;
    };
    const Case cases[] = {
        {"static", kFirst, kSame, "1 -", 0},
        {"static", kRepeat, kSame, "1 -", 0},
        {"static87", kNoAnim, kSame, "1 -", 0},
        {"loop", kOff, kSame, "3 0", 0},
        {"loop", kFirst, kFirstAndTrailer, "1 0", 1},
        {"loop", kRepeat, kLoopCount, "3 259", 0},
        {"loop", kNoAnim, kTrans, "1 -", 1},
        {"noloop", kFirst, kFirstAndTrailer, "1 -", 1},
        {"noloop", kRepeat, kSame, "2 -", 0},
        {"noloop", kNoAnim, kTrans, "1 -", 1},
        {"local", kFirst, kFirstAndTrailer, "1 0", 1},
        {"local", kRepeat, kLoopCount, "2 259", 0},
        {"localnoloop", kRepeat, kSame, "2 -", 0},
        {"localfirst", kFirst, kFirstAndTrailer, "1 -", 1},
        {"localfirst", kRepeat, kSame, "2 -", 0},
        {"interlaced", kFirst, kFirstAndTrailer, "1 0", 1},
        {"interlaced", kNoAnim, kTrans, "1 -", 1},
    };
    for (const Case& c : cases) {
        const std::string& gif = Image(c.image);
        SCOPED_TRACE(std::string(c.image) + " mode " + std::to_string(c.mode));
        Washing reference(c.mode);
        const std::string whole = reference.Pump(gif, {gif.size()}).out;
        EXPECT_EQ(IdentifyGIF(whole), c.identify);
        EXPECT_EQ(reference.Filtered(), c.filtered);
        switch (c.bytes) {
        case kSame:
            EXPECT_EQ(whole, gif);
            break;
        case kFirstAndTrailer:
            ASSERT_LT(whole.size(), gif.size());
            EXPECT_EQ(whole.substr(0, whole.size() - 1), gif.substr(0, whole.size() - 1));
            EXPECT_EQ(whole.back(), ';');
            EXPECT_EQ(gif[whole.size() - 1], ','); // cut at the second image
            break;
        case kLoopCount: {
            const std::size_t at = gif.find("NETSCAPE2.0\x03\x01"sv);
            ASSERT_NE(at, std::string::npos);
            std::string expected = gif;
            expected.replace(at + 13, 2, "\x02\x01"sv);
            EXPECT_EQ(whole, expected);
            break;
        }
        case kTrans:
            EXPECT_EQ(whole, trans);
            break;
        }

        // The same bytes whatever the network's split: every cut of the first
        // 64 bytes, and the usual block sizes.
        std::vector<std::vector<std::size_t>> splits = kSplits;
        for (std::size_t cut = 1; cut <= 64; ++cut)
            splits.push_back({cut, 1u << 20});
        for (const auto& sizes : splits) {
            Washing washing(c.mode);
            EXPECT_EQ(washing.Pump(gif, sizes).out, whole) << "first block " << sizes[0];
            EXPECT_EQ(washing.Filtered(), c.filtered);
        }
    }
}

TEST_F(GIFWasher, NoAnimReplacement) {
    TempDir dir;
    const std::string& user = Image("static");
    dir.Write("user.gif", user);
    const std::string trans(CInternalGIFRequestHandler::TransparentImage());
    struct Case {
        bool replace, replaceUser;
        const char* file;
        const std::string& expected;
    };
    const Case cases[] = {
        {true, true, "user.gif", user},
        {false, true, "user.gif", trans},
        {true, false, "user.gif", trans},
        {true, true, "missing.gif", trans}, // falls back
    };
    for (const Case& c : cases) {
        Washing washing(kNoAnim);
        washing.Set(CSettings::kOptionsReplace, c.replace);
        washing.Set(CSettings::kOptionsReplaceUser, c.replaceUser);
        washing.settings->String(CSettings::kOptionsUserImagePath).Set(dir.File(c.file));
        const auto pumped = washing.Pump(Image("loop"), {40});
        EXPECT_EQ(pumped.out, c.expected) << c.replace << c.replaceUser << c.file;
        EXPECT_FALSE(pumped.result.sourceEnded); // the rest of the image is not read
    }
}

TEST_F(GIFWasher, ReleasesWhatTheWalkPassed) {
    // One image, then a comment of 9 MiB: in first-image and repeat modes it
    // streams; in no-animation mode it is held, and past the bound passes
    // unchanged.
    std::string body = Image("static");
    body.pop_back(); // the trailer goes behind the comment
    body += "\x21\xFE"sv;
    const std::string sub = std::string(1, '\xFF') + std::string(255, 'c');
    while (body.size() < CGIFWasher::kMaxHeldImage + (1u << 20))
        body += sub;
    body += "\0;"sv;
    constexpr std::size_t kBlock = 65536;
    for (Mode mode : {kFirst, kRepeat, kNoAnim}) {
        Washing washing(mode);
        CBuffer buffer;
        CGIFWasher washer(washing.Context(buffer));
        std::size_t at = 0, held = 0;
        std::string out;
        washers::PumpBody(
            washer, buffer,
            [&](CBuffer& into) {
                held = std::max<std::size_t>(held, into.Size());
                if (at == body.size())
                    return false;
                const std::size_t n = std::min(kBlock, body.size() - at);
                into.Append(std::string_view(body).substr(at, n));
                at += n;
                return true;
            },
            [&](std::string_view bytes) { out += bytes; });
        EXPECT_TRUE(out == body) << mode;
        if (mode == kNoAnim) {
            EXPECT_GE(held + kBlock, CGIFWasher::kMaxHeldImage) << mode;
            EXPECT_LE(held, CGIFWasher::kMaxHeldImage + kBlock + 256) << mode;
        } else {
            EXPECT_LE(held, 256u) << mode;
        }
    }
}

TEST_F(GIFWasher, BannerByHeaderSize) {
    const std::string& banner = Image("banner");
    const std::string trans(CInternalGIFRequestHandler::TransparentImage());
    struct Case {
        const char* referer;
        CSettings::Flag flag;
        bool on;
        bool replaced;
    };
    const Case cases[] = {
        {"http://news.example.net/", CSettings::kDimFilterNoHeaderDim, false, true}, // elsewhere
        {"", CSettings::kDimFilterNoHeaderDim, false, true}, // no referring page
        {"http://www.example.org/page.html", CSettings::kDimFilterSameServer, true, true},
        {"http://news.example.net/", CSettings::kDimFilterNoHeaderDim, true, false},
        {"http://news.example.net/", CSettings::kDimFilterImages, false, false},
    };
    for (const Case& c : cases) {
        Washing washing(kOff, c.referer);
        washing.Set(c.flag, c.on);
        const auto pumped = washing.Pump(banner, {20});
        EXPECT_EQ(pumped.out, c.replaced ? trans : banner) << c.referer;
        EXPECT_EQ(pumped.result.sourceEnded, !c.replaced);
        EXPECT_EQ(washing.Filtered(), c.replaced ? 1u : 0u);
    }
}

TEST_F(GIFWasher, AcceptsAndCounts) {
    struct Case {
        const char* mediaType;
        std::string_view body;
        Mode mode;
        bool standard;
        std::uint32_t white;
        bool accepted;
        std::uint32_t received;
    };
    const auto gif = "GIF89a\x08\x00\x08\x00\x00"sv;
    const auto jpeg = "\xFF\xD8\xFF\xE0\x00\x10JFIF\x00"sv;
    const Case cases[] = {
        {"image/gif", "", kFirst, true, 0, true, 1},
        {"image/gif", gif, kFirst, true, 0, true, 1},
        {"image/gif", gif, kOff, true, 0, false, 1},
        {"", "", kFirst, true, 0, true, 1}, // no media type: the ".gif" of the URL
        {"image/jpeg", jpeg, kFirst, true, 0, false, 1},
        {"image/jpeg", jpeg.substr(0, 2), kFirst, true, 0, true, 1},
        {"image/png", "", kFirst, true, 0, false, 1},
        {"image/gif", "", kFirst, false, 0, false, 1},
        {"text/html", "", kFirst, true, 0, false, 0},
        {"image/gif", "", kFirst, true, kWhiteStandard, false, 0},
    };
    for (const Case& c : cases) {
        Washing washing(c.mode);
        washing.settings->Bool(CSettings::kStandardFilterEnabled).Set(c.standard);
        CBuffer buffer;
        buffer.Append(c.body);
        WasherContext context = washing.Context(buffer);
        context.whiteFlags = c.white;
        EXPECT_EQ(CGIFWasher::Accepts(CIString(c.mediaType), context), c.accepted)
            << c.mediaType << " " << c.body.size() << " bytes, mode " << c.mode;
        EXPECT_EQ(washing.statistic.Counter(CStatistic::ImagesReceived), c.received);
    }
}

TEST_F(GIFWasher, NonGIFNeverWaits) {
    // What the first block releases at once.
    struct Case {
        Mode mode;
        std::string_view first;
        std::uint32_t ready;
    };
    const Case cases[] = {
        {kFirst, "\xFF", 1},
        {kFirst, "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"sv, 16},           // mislabelled
        {kOff, std::string_view(Image("loop")).substr(0, 40), 40}, // nothing to do in it
        {kFirst, "GIF89a\x01", 0},                                 // may still be a GIF
    };
    for (const Case& c : cases) {
        Washing washing(c.mode);
        CBuffer buffer;
        CGIFWasher washer(washing.Context(buffer));
        buffer.Append(c.first);
        EXPECT_EQ(washer.Wash(false).ready, c.ready) << c.first.size() << " bytes";
    }
    // A short GIF start waits, and passes whole at the end.
    Washing washing(kFirst);
    EXPECT_EQ(washing.Pump("GIF89a\x01", {1}).out, "GIF89a\x01");
}
