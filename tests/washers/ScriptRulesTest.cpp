#include "washers/ScriptRules.h"

#include "http/CConnInfo.h"
#include "settings/CSettings.h"
#include "stats/CStatistic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct NeutraliseCase {
    const char* in;
    const char* out;
    std::size_t removed;
};

struct ExtractCase {
    const char* text;
    const char* word;
    bool needsDelimiter;
    char delimiter;
    std::vector<std::string> values;
};

enum Switch : unsigned { kPopup = 1, kScript = 2, kURLs = 4 };

struct UnwantedCase {
    const char* text;
    unsigned switches;
    bool unwanted;
    std::uint32_t windows;
    std::uint32_t scripts;
};

} // namespace

TEST(ScriptRules, NeutraliseKeepsDeclarationsOnly) {
    const NeutraliseCase cases[] = {
        {"var a = f(1, 2), b = 3;", "var a =0, b =0;", 8},
        {"var w = window.open('ad.html');\nfunction h() { window.status = 'x'; }\nh();\n",
         "var w =0;\nfunction h() {}\n", 49},
        {"foo();\nfunction f(x) {\n  if (x) { bar(); }\n}\nbaz();", "function f(x) {}\n", 34},
        // A later '=' belongs to the value: the call before it must go too.
        {"var x = open('ad') == null;", "var x =0;", 18},
        // Brackets of any kind hold the value's commas and line breaks.
        {"var o = {a: 1,\n b: [2, 3]}\nvar n\nfoo();", "var o =0\nvar n\n", 24},
        {"var a = 1\r\nfoo();\r\n", "var a =0\r\n", 9},
        {"// keep\nfoo();\nvar a = 1; // one\nbar();", "// keep\nvar a =0;// one\n", 15},
        {"/* {x} */ function g() { /* } */ return 1; }", "function g() {}", 29},
        {"function h() { s = \"}\"; t = '{'; u = \"\\\"}\"; }\nh();", "function h() {}\n", 34},
        {"<!--\nwindow.open('x');\nvar w = 1;\n//-->\n", "<!--\nvar w =0;\n//-->\n", 19},
        {"<!-- // old browsers\nfoo();\n-->", "<!-- // old browsers\n\n-->", 6},
        {"// window.open('x')", "// window.open('x')", 0},
        // Whatever never closes ends at the text end, and does nothing there.
        {"function f() { window.open(); ", "function f() {", 16},
        {"var a = 'oops; window.open();", "var a =0", 21},
        {"foo(); /* window.open()", "", 23},
        // An empty initial value stays empty: the text never grows.
        {"var a =;var b =\n", "var a =;var b =\n", 0},
    };
    for (const auto& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(washers::NeutraliseScript(text), c.removed) << c.in;
        EXPECT_EQ(text, c.out) << c.in;
    }
}

TEST(ScriptRules, ExtractValueWalksEveryValue) {
    const ExtractCase cases[] = {
        {"x.src = \"http://ad.x/a.js\" y.src='/b.js'; z.SRC=/c.js more",
         "src",
         true,
         '=',
         {"http://ad.x/a.js", "/b.js", "/c.js"}},
        {"document.write(\"<img src=\\\"http://ad.x/i.gif\\\">\")",
         "src",
         true,
         '=',
         {"http://ad.x/i.gif"}},
        {"srcset; src", "src", true, '=', {}},
        {"src=", "src", true, '=', {""}},
        {"open (\"pop.html\", 'w'); document.open", "open", true, '(', {"pop.html"}},
        {"u='http://a.b/c' + \":/'\" + \"https://d.e/f g\"", ":/", false, 0, {"/a.b/c", "/d.e/f"}},
        {"url=:/", ":/", false, 0, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> found;
        std::size_t pos = 0;
        std::string value;
        while (found.size() < 8 &&
               washers::ExtractValue(c.text, c.word, c.needsDelimiter, c.delimiter, pos, value))
            found.push_back(value);
        EXPECT_EQ(found, c.values) << c.text;
    }
}

TEST(ScriptRules, UnwantedScriptsAndTheirCounters) {
    const UnwantedCase cases[] = {
        {"w = window.open('x')", kPopup, true, 1, 0},
        {"w = window.open('x')", kScript | kURLs, false, 0, 0},
        {"open('x')", kPopup, true, 1, 0},
        {"document.open(); document.write('x')", kPopup, false, 0, 0},
        {"// window.open('x')", kPopup, true, 1, 0},
        {"top.location.href = 'http://x/'", kScript, true, 0, 1},
        {"top.location.href = 'http://x/'", kPopup | kURLs, false, 0, 0},
        // A comparison first makes the script acceptable at once.
        {"if (top.location.href == x) top.location.href = y; window.status = 1", kScript, false, 0,
         0},
        {"s = 'x.location.href = y'; window.status = 'hi'", kScript, true, 0, 1},
        {"i.src = 'http://ad.example.org/x.gif';", kURLs, true, 0, 1},
        {"i.src = 'http://ad.example.org/x.gif';", kPopup | kScript, false, 0, 0},
        {"i.src = 'http://ad.example.org/banner.gif';", kURLs, false, 0, 0},
        {"i.src = '/adserve/1.gif';", kURLs, true, 0, 1},
        {"u = 'see http://ad.example.org/x'", kURLs, true, 0, 1},
        {"i.src = '/img/logo.gif'; j.href = \"http://www.example.org/\"", kURLs, false, 0, 0},
    };
    CConnInfo page;
    ASSERT_TRUE(page.ParseURL(CIString("http://www.example.org/news/index.html"), false));
    for (const auto& c : cases) {
        CSettings settings("", nullptr, true);
        settings.Flags(CSettings::Word::PopupFilter)
            .SetBit(CSettings::kPopupFilterEnabled.bit, (c.switches & kPopup) != 0);
        auto& script = settings.Flags(CSettings::Word::ScriptFilter);
        script.SetBit(CSettings::kScriptFilterEnabled.bit, (c.switches & kScript) != 0);
        script.SetBit(CSettings::kScriptFilterNoURLChange.bit, true);
        script.SetBit(CSettings::kScriptFilterNoStatusChange.bit, true);
        auto& urls = settings.Flags(CSettings::Word::URLFilter);
        urls.SetBit(CSettings::kURLFilterEnabled.bit, (c.switches & kURLs) != 0);
        urls.SetBit(CSettings::kURLFilterScripts.bit, true);
        CStatistic statistic;
        EXPECT_EQ(washers::ScriptIsUnwanted(c.text, settings, page, &statistic), c.unwanted)
            << c.text;
        EXPECT_EQ(statistic.Counter(CStatistic::FilteredWindows), c.windows) << c.text;
        EXPECT_EQ(statistic.Counter(CStatistic::FilteredScripts), c.scripts) << c.text;
    }
}
