// Pages come from any server: whatever the bytes and wherever the network
// splits them, the washer must neither crash nor let the split decide what
// the browser gets or how often an element is counted.
//
// Input: four bytes of settings, four bytes of split seed, then the page.
#include "http/CConnInfo.h"
#include "os/CBuffer.h"
#include "settings/CSettings.h"
#include "stats/CStatistic.h"
#include "washers/BodyPump.h"
#include "washers/CHTMLWasher.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>

namespace {

struct Fixture {
    CSettings* settings = new CSettings("", nullptr, true);
    CSettingsRef<const CSettings> ref = CSettingsRef<const CSettings>::Adopt(settings);
    CConnInfo page;
    Fixture() {
        page.ParseURL(CIString("http://news.example.org/dir/page.html"), false);
        settings->URLList().AddLine("~*ads.example.net*");
        settings->URLList().AddLine("!~*ads.example.net/ok/*");
        settings->DimensionList().AddLine("468,60");
    }
};

struct Washed {
    std::string out;
    std::array<std::uint32_t, 8> counts{};
};

constexpr std::array<CStatistic::Event, 8> kCounted = {
    CStatistic::FilteredImages,          CStatistic::FilteredWindows, CStatistic::FilteredScripts,
    CStatistic::FilteredLayers,          CStatistic::FilteredFrames,  CStatistic::FilteredForms,
    CStatistic::FilteredEmbeddedObjects, CStatistic::ImagesReceived};

Washed Wash(Fixture& f, std::string_view body, std::uint32_t seed) {
    CStatistic statistic;
    CBuffer buffer;
    const auto washer = CHTMLWasher::Create({f.ref, &statistic, &f.page, 0, &buffer});
    std::mt19937 random(seed);
    std::size_t at = 0;
    Washed washed;
    washers::PumpBody(
        *washer, buffer,
        [&](CBuffer& into) {
            if (at >= body.size())
                return false;
            const std::size_t n = seed == 0
                                      ? body.size() - at
                                      : std::min<std::size_t>(1 + random() % 64, body.size() - at);
            into.Append(body.substr(at, n));
            at += n;
            return true;
        },
        [&](std::string_view bytes) { washed.out.append(bytes); });
    for (std::size_t i = 0; i < kCounted.size(); ++i)
        washed.counts[i] = statistic.Counter(kCounted[i]);
    return washed;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    if (size < 8)
        return 0;
    // The settings bits spread over the words the HTML rules read.
    const std::uint32_t bits = data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24;
    const std::uint32_t seed = (data[4] | data[5] << 8 | data[6] << 16 | data[7] << 24) | 1;
    CSettings& s = *fixture.settings;
    const auto word = [&](CSettings::Word w, int shift) {
        // The low bit is the section's on switch, bits 11 and up its options.
        const std::uint32_t b = bits >> shift;
        s.Flags(w).Set((b & 1) | ((b >> 1) & 0xFF) << 11);
    };
    word(CSettings::Word::URLFilter, 0);
    word(CSettings::Word::DimFilter, 3);
    word(CSettings::Word::ScriptFilter, 6);
    word(CSettings::Word::PopupFilter, 9);
    word(CSettings::Word::Options, 12);
    word(CSettings::Word::Privacy, 15);
    word(CSettings::Word::ProxyEngine, 18);
    word(CSettings::Word::MediaFilter, 21);
    // The security log is a file of the installed system: never written here.
    s.Flags(CSettings::Word::MediaFilter).SetBit(CSettings::kMediaFilterLogging.bit, false);
    s.Bool(CSettings::kStandardFilterEnabled).Set((bits >> 31) == 0);

    const std::string_view page(reinterpret_cast<const char*>(data) + 8, size - 8);
    const Washed whole = Wash(fixture, page, 0);
    const Washed split = Wash(fixture, page, seed);
    if (whole.out != split.out || whole.counts != split.counts) {
        if (std::getenv("HTML_FUZZ_SHOW") != nullptr)
            std::fprintf(stderr, "whole:\n%s\nsplit:\n%s\n", whole.out.c_str(), split.out.c_str());
        std::abort();
    }
    return 0;
}
