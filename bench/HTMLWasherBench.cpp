// The HTML washer alone over a news page: banners, web bugs, hundreds of
// links, scripts. CORVAND_BENCH_PAGE names the page (the load scripts' news
// page, say); without it a page of the same make is generated.

#include "http/CConnInfo.h"
#include "os/CBuffer.h"
#include "settings/CSettings.h"
#include "stats/CStatistic.h"
#include "washers/BodyPump.h"
#include "washers/CHTMLWasher.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string GeneratedPage() {
    std::string page = "<html><head><script>var a=1;</script></head><body onload=\"init()\">";
    for (int i = 0; i < 850; ++i) {
        page += "<li><a href=\"http://127.0.0.1:18080/section/news-" + std::to_string(i) +
                ".html\">headline number " + std::to_string(i) + "</a></li>\n";
        if (i % 50 == 0)
            page += "<a href=\"http://ad.example.net/click\"><img src=\"http://ad.example.net/"
                    "banner/b.gif\" width=\"468\" height=\"60\"></a><img src=\"http://"
                    "stats.example.net/p.gif\" width=1 height=1><p>Lorem ipsum dolor sit amet, "
                    "consectetur adipiscing elit, sed do eiusmod tempor incididunt.</p>\n";
    }
    return page + "</body></html>";
}

const std::string& Page() {
    static const std::string page = [] {
        if (const char* path = std::getenv("CORVAND_BENCH_PAGE")) {
            std::ifstream in(path, std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            if (!text.str().empty())
                return text.str();
        }
        return GeneratedPage();
    }();
    return page;
}

void WashPage(benchmark::State& state, bool everyRule) {
    CSettings* settings = new CSettings("", nullptr, true);
    const auto ref = CSettingsRef<const CSettings>::Adopt(settings);
    if (everyRule) {
        for (const CSettings::Flag flag :
             {CSettings::kPopupFilterEnabled, CSettings::kScriptFilterEnabled,
              CSettings::kScriptFilterNoURLChange, CSettings::kScriptFilterNoStatusChange,
              CSettings::kURLFilterEnabled, CSettings::kDimFilterEnabled,
              CSettings::kPrivacyEnabled, CSettings::kPrivacyWebBugFilterEnabled,
              CSettings::kMediaFilterEnabled, CSettings::kMediaFilterFilterEmbedded,
              CSettings::kProxyEnginePreventCacheBypass})
            settings->Flags(flag.word).SetBit(flag.bit, true);
    }
    CConnInfo request;
    request.ParseURL(CIString("http://127.0.0.1:18080/page.html"), false);
    CStatistic statistic;
    const std::string& page = Page();
    std::size_t out = 0;
    for (auto _ : state) {
        CBuffer buffer;
        const auto washer = CHTMLWasher::Create({ref, &statistic, &request, 0, &buffer});
        std::size_t at = 0;
        washers::PumpBody(
            *washer, buffer,
            [&](CBuffer& into) {
                if (at >= page.size())
                    return false;
                const std::size_t n = std::min<std::size_t>(65536, page.size() - at);
                into.Append(std::string_view(page).substr(at, n));
                at += n;
                return true;
            },
            [&](std::string_view bytes) { out += bytes.size(); });
    }
    benchmark::DoNotOptimize(out);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}

void WashPageDefaults(benchmark::State& state) {
    WashPage(state, false);
}
void WashPageEveryRule(benchmark::State& state) {
    WashPage(state, true);
}
BENCHMARK(WashPageDefaults)->Unit(benchmark::kMillisecond);
BENCHMARK(WashPageEveryRule)->Unit(benchmark::kMillisecond);

} // namespace
