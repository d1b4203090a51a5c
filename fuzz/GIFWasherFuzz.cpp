// Images come from any server: any bytes, cut into blocks anywhere, must wash
// without fault, and the result must not depend on where the blocks were cut.
// The input is an options byte (animation mode, banner size checks, referrer),
// a seed for the block sizes, and the body.
#include "http/CConnInfo.h"
#include "os/CBuffer.h"
#include "os/CException.h"
#include "settings/CSettings.h"
#include "settings/CSettingsRef.h"
#include "stats/CStatistic.h"
#include "washers/BodyPump.h"
#include "washers/CGIFWasher.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>
#include <string_view>

namespace {

// Head lines handed out one by one, as a socket would.
class HeadLines : public CConnInfo::LineSource {
public:
    explicit HeadLines(std::deque<CIString> lines) : m_lines(std::move(lines)) {}
    CIString ReadLine() override {
        if (m_lines.empty())
            throw CException::HalfClosed();
        CIString line = m_lines.front();
        m_lines.pop_front();
        return line;
    }
    void PushBackLine(const CIString& line) override { m_lines.push_front(line); }

private:
    std::deque<CIString> m_lines;
};

CConnInfo Request(bool referer) {
    std::deque<CIString> lines{CIString("GET http://img.example.org/a.gif HTTP/1.1")};
    if (referer)
        lines.emplace_back("Referer: http://img.example.org/page.html");
    lines.emplace_back("");
    HeadLines source(std::move(lines));
    CConnInfo request;
    request.ParseHead(source, CConnInfo::kParseRequest | CConnInfo::kParseOnly);
    return request;
}

// One settings object per combination of the options byte's low three bits:
// the animation mode, and whether banners are judged by header size.
CSettingsRef<const CSettings> Settings(unsigned options) {
    static const std::array<CSettingsRef<const CSettings>, 8> all = [] {
        std::array<CSettingsRef<const CSettings>, 8> made;
        for (unsigned i = 0; i < made.size(); ++i) {
            auto* settings = new CSettings("", nullptr, true);
            auto set = [&](CSettings::Flag flag, bool on) {
                settings->Flags(flag.word).SetBit(flag.bit, on);
            };
            const unsigned mode = i & 3;
            set(CSettings::kAnimFilterEnabled, mode != 0);
            set(CSettings::kAnimFilterRepeat, mode == 2);
            set(CSettings::kAnimFilterNoAnim, mode == 3);
            settings->Int(CSettings::kAnimFilterRepeatCount).Set(0x0203);
            set(CSettings::kDimFilterNoHeaderDim, (i & 4) == 0);
            made[i] = CSettingsRef<const CSettings>::Adopt(settings);
        }
        return made;
    }();
    return all[options & 7];
}

// Washes body cut into blocks: all at once when seed is 0, else of sizes
// from 1 to 64 drawn from the seed.
std::string Wash(const WasherContext& base, std::string_view body, std::uint32_t seed) {
    CBuffer buffer;
    WasherContext context = base;
    context.body = &buffer;
    CGIFWasher washer(context);
    std::size_t at = 0;
    std::string out;
    washers::PumpBody(
        washer, buffer,
        [&](CBuffer& into) {
            if (at >= body.size())
                return false;
            std::size_t n = body.size() - at;
            if (seed != 0) {
                seed = seed * 1103515245u + 12345u;
                n = std::min<std::size_t>(n, 1 + (seed >> 16) % 64);
            }
            into.Append(body.substr(at, n));
            at += n;
            return true;
        },
        [&](std::string_view bytes) { out += bytes; });
    if (!buffer.Empty())
        std::abort(); // the pump leaves nothing behind
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const unsigned options = data[0];
    const std::uint32_t seed = data[1] | 0x100u;
    const std::string_view body(reinterpret_cast<const char*>(data) + 2, size - 2);

    static const CConnInfo withReferer = Request(true);
    static const CConnInfo withoutReferer = Request(false);
    static CStatistic statistic;
    WasherContext context;
    context.settings = Settings(options);
    context.statistic = &statistic;
    context.request = (options & 8) ? &withReferer : &withoutReferer;

    const std::string whole = Wash(context, body, 0);
    const std::string split = Wash(context, body, seed);
    // The split must not matter in any mode; first-image and repeat modes are
    // where a wrong wait would show.
    if (whole != split)
        std::abort();
    return 0;
}
