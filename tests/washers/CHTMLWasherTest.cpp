#include "washers/CHTMLWasher.h"

#include "support/Pump.h"

#include "http/CConnInfo.h"
#include "os/CBuffer.h"
#include "settings/CSettings.h"
#include "stats/CStatistic.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace {

using Flag = CSettings::Flag;

// A page of news.example.org washed with the group's settings; listed are the
// user's entries for ads.example.net.
struct Washing {
    CSettings* settings = new CSettings("", nullptr, true);
    CSettingsRef<const CSettings> ref = CSettingsRef<const CSettings>::Adopt(settings);
    CStatistic statistic;
    CConnInfo page;
    std::uint32_t whiteFlags = 0;

    Washing() {
        page.ParseURL(CIString("http://news.example.org/dir/page.html"), false);
        settings->URLList().AddLine("~*ads.example.net*");
        settings->DimensionList().AddLine("468,60");
        for (const Flag flag :
             {CSettings::kURLFilterEnabled, CSettings::kURLFilterImages,
              CSettings::kURLFilterScripts, CSettings::kURLFilterFrames,
              CSettings::kURLFilterLayers, CSettings::kURLFilterForms, CSettings::kDimFilterEnabled,
              CSettings::kDimFilterImages, CSettings::kProxyEngineSpecialInternalHostName})
            Set(flag, true);
        for (const Flag flag :
             {CSettings::kOptionsReplace, CSettings::kURLFilterTextLinks,
              CSettings::kPopupFilterEnabled, CSettings::kScriptFilterEnabled,
              CSettings::kProxyEnginePreventCacheBypass, CSettings::kPrivacyWebBugFilterEnabled,
              CSettings::kMediaFilterEnabled})
            Set(flag, false);
        settings->Bool(CSettings::kStandardFilterEnabled).Set(true);
    }
    void Set(Flag flag, bool on) { settings->Flags(flag.word).SetBit(flag.bit, on); }

    std::string Wash(std::string_view body, std::vector<std::size_t> blocks = {1 << 16}) {
        return testsupport::PumpBlocks(
                   [&](CBuffer& buffer) -> std::unique_ptr<CWasher> {
                       return CHTMLWasher::Create({ref, &statistic, &page, whiteFlags, &buffer});
                   },
                   body, std::move(blocks))
            .out;
    }
};

struct RuleCase {
    const char* what;
    std::function<void(Washing&)> setUp;
    const char* in;
    const char* out;
    CStatistic::Event counter;
    std::uint32_t count;
};

const RuleCase kRules[] = {
    {"listed image, removed without trace", nullptr,
     R"~(<p><img src="http://ads.example.net/b.gif" width=1>x)~", "<p>x",
     CStatistic::FilteredImages, 1},
    {"listed image redirected to the transparent image, its size kept",
     [](Washing& w) {
         w.Set(CSettings::kOptionsReplace, true);
         w.Set(CSettings::kOptionsReplaceTrans, true);
     },
     R"~(<img src='http://ads.example.net/b.gif' width=468 alt="Buy" onClick="go()">)~",
     R"~(<img src='http://-Corva.Vane-/trans.gif' width=468 border="0">)~",
     CStatistic::FilteredImages, 1},
    {"the user's image, when there is one, replaces a listed image",
     [](Washing& w) {
         w.Set(CSettings::kOptionsReplace, true);
         w.Set(CSettings::kOptionsReplaceTrans, false);
         w.settings->String(CSettings::kOptionsUserImagePath).Set("/srv/own.gif");
     },
     R"~(<img src="http://ads.example.net/b.gif">)~",
     R"~(<img src="http://-Corva.Vane-/image.gif" border="0">)~", CStatistic::FilteredImages, 1},
    {"a listed URL in srcset alone removes the image", nullptr,
     R"~(<img src="ok.gif" srcset="a.gif 1x, http://ads.example.net/b.gif 2x">!)~", "!",
     CStatistic::FilteredImages, 1},
    {"a single-quoted '>' does not end the tag", nullptr,
     "<img alt='a>b' src='//ads.example.net/x.gif'>!", "!", CStatistic::FilteredImages, 1},
    {"listed script goes with its content", nullptr,
     "<script src=\"http://ads.example.net/a.js\">var x;</script>!", "!",
     CStatistic::FilteredScripts, 1},
    {"listed link around text stays with text links off", nullptr,
     R"~(<a href="http://ads.example.net/c">text</a>)~",
     R"~(<a href="http://ads.example.net/c">text</a>)~", CStatistic::FilteredImages, 0},
    {"listed link around an image goes, keeping the closing cell and row", nullptr,
     R"~(<a href="http://ads.example.net/c"><img src=x.gif></td></tr></a>!)~", "</td></tr>!",
     CStatistic::FilteredImages, 1},
    {"banner frame blanked and its row shrunk; the next frame's row stays", nullptr,
     R"~(<frameset rows="60,*"><frame src="http://ads.example.net/f.html"><frame src=main.html></frameset>)~",
     R"~(<frameset rows="0,*"><frame src="http://-Corva.Vane-/blank.html" scrolling="no"><frame src=main.html></frameset>)~",
     CStatistic::FilteredFrames, 1},
    {"banner size from another server", nullptr,
     R"~(<img src="http://img.example.com/x.gif" width="468" height="60">!)~", "!",
     CStatistic::FilteredImages, 1},
    {"banner size from the page's own server stays", nullptr,
     R"~(<img src="/x.gif" width="468" height="60">)~",
     R"~(<img src="/x.gif" width="468" height="60">)~", CStatistic::FilteredImages, 0},
    {"web bug from another host, also with the standard filter off",
     [](Washing& w) {
         w.settings->Bool(CSettings::kStandardFilterEnabled).Set(false);
         w.Set(CSettings::kPrivacyEnabled, true);
         w.Set(CSettings::kPrivacyWebBugFilterEnabled, true);
     },
     R"~(<img src="http://t.example.com/p" width=1 height=1><img src="/p" width=1 height=1>)~",
     R"~(<img src="/p" width=1 height=1>)~", CStatistic::FilteredImages, 1},
    {"cache meta tags go, refresh stays",
     [](Washing& w) { w.Set(CSettings::kProxyEnginePreventCacheBypass, true); },
     R"~(<meta http-equiv="Expires" content="0"><meta http-equiv="refresh" content="5">)~",
     R"~(<meta http-equiv="refresh" content="5">)~", CStatistic::FilteredImages, 0},
    {"status-bar handlers of a link",
     [](Washing& w) {
         w.Set(CSettings::kScriptFilterEnabled, true);
         w.Set(CSettings::kScriptFilterNoStatusChange, true);
     },
     R"~(<a href="/n" onMouseOver="window.status='x'" title=t>)~", R"~(<a href="/n" title=t>)~",
     CStatistic::FilteredScripts, 1},
    {"every body tag under no-load counts, with or without onload",
     [](Washing& w) {
         w.Set(CSettings::kScriptFilterEnabled, true);
         w.Set(CSettings::kScriptFilterNoLoad, true);
         w.Set(CSettings::kScriptFilterNoUnload, false);
     },
     R"~(<body onload="go()" bgcolor=white><body>)~", R"~(<body bgcolor=white><body>)~",
     CStatistic::FilteredScripts, 2},
    {"an ActiveX object goes with its content",
     [](Washing& w) {
         w.Set(CSettings::kMediaFilterEnabled, true);
         w.Set(CSettings::kMediaFilterFilterEmbedded, true);
         w.Set(CSettings::kMediaFilterRemoveActiveX, true);
     },
     R"~(<object classid="clsid:D27CDB6E"><p>alt</p></object>!)~", "!",
     CStatistic::FilteredEmbeddedObjects, 1},
    {"images inside a script's text are washed too", nullptr,
     R"~(<script>document.write("<img src=\"http://ads.example.net/b.gif\">");</script>)~",
     R"~(<script>document.write("");</script>)~", CStatistic::FilteredImages, 1},
    {"a tag longer than the trackers hold is text", nullptr, nullptr, nullptr,
     CStatistic::FilteredImages, 0},
};

// The bytes of a case; the overlong one is made here.
std::string Input(const RuleCase& c) {
    if (c.in != nullptr)
        return c.in;
    return "<img src=\"http://ads.example.net/b.gif\" title=\"" + std::string(40000, 'x') + "\">";
}

} // namespace

TEST(HTMLWasher, EachRuleWithItsCounter) {
    for (const RuleCase& c : kRules) {
        Washing w;
        if (c.setUp)
            c.setUp(w);
        const std::string in = Input(c);
        EXPECT_EQ(w.Wash(in), c.out ? std::string(c.out) : in) << c.what;
        EXPECT_EQ(w.statistic.Counter(c.counter), c.count) << c.what;
    }
}

// Where the network splits a page changes nothing the browser gets, and no
// element is counted twice for having been seen again.
TEST(HTMLWasher, SameBytesAndCountsForEverySplit) {
    std::mt19937 random(7);
    for (const RuleCase& c : kRules) {
        const std::string in = Input(c);
        Washing whole;
        if (c.setUp)
            c.setUp(whole);
        const std::string expected = whole.Wash(in);
        for (std::vector<std::size_t> blocks :
             {std::vector<std::size_t>{1}, {2}, {3}, {7}, {1024}, {5, 1, 9, 2, 30}}) {
            Washing split;
            if (c.setUp)
                c.setUp(split);
            EXPECT_EQ(split.Wash(in, blocks), expected) << c.what << " in blocks of " << blocks[0];
            EXPECT_EQ(split.statistic.Counter(c.counter), whole.statistic.Counter(c.counter))
                << c.what << " in blocks of " << blocks[0];
        }
    }
}

// A script that never closes is held only up to the bound: the buffer stays
// flat and the page arrives whole, however long it is.
TEST(HTMLWasher, AnUnclosedScriptIsHeldOnlyUpToTheBound) {
    const std::string line = "var x = 1; document.write('<b>');\n";
    std::string page = "<html><script>";
    while (page.size() < (20u << 20))
        page += line;
    Washing w;
    CBuffer buffer;
    const auto washer = CHTMLWasher::Create({w.ref, &w.statistic, &w.page, 0, &buffer});
    std::size_t at = 0;
    std::uint32_t largest = 0;
    std::uint64_t sent = 0;
    bool same = true;
    washers::PumpBody(
        *washer, buffer,
        [&](CBuffer& into) {
            largest = std::max(largest, into.Size());
            if (at >= page.size())
                return false;
            const std::size_t n = std::min<std::size_t>(1024, page.size() - at);
            into.Append(std::string_view(page).substr(at, n));
            at += n;
            return true;
        },
        [&](std::string_view bytes) {
            same = same && page.compare(sent, bytes.size(), bytes) == 0;
            sent += bytes.size();
        });
    EXPECT_EQ(sent, page.size());
    EXPECT_TRUE(same);
    EXPECT_LE(largest, CWasher::kMaxHeldBytes + 2048);
}
