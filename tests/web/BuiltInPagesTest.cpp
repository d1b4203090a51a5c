#include "support/TempDir.h"

#include "stats/CStatistic.h"
#include "web/BuiltInPages.h"
#include "web/CInternalRateHandler.h"
#include "web/CInternalStatsHandler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

std::string Expand(std::string_view page, std::string_view user, int refresh,
                   CStatistic* statistic) {
    CIString text(page);
    const std::size_t length = ExpandPageTags(text, user, refresh, statistic);
    EXPECT_EQ(length, text.size());
    return std::string(text.View());
}

} // namespace

TEST(BuiltInPages, PseudoTags) {
    CStatistic statistic;
    for (int i = 0; i < 3; ++i)
        statistic.Increment(CStatistic::FilteredImages);
    statistic.AddBytes(CStatistic::BytesSentToClient, 1536);
    const struct {
        const char* page;
        int refresh;
        const char* out;
    } cases[] = {
        {"a<cvstats name=\"FilteredImages\">b", 0, "a3b"},
        {"<CVSTATS NAME=bytessenttoclient>", 0, "1.5 KB"},
        {"<cvstats name='Unknown'>|<cvstats>", 0, "0|"},
        {"<cvrefresh action=\"x\">", 30, "<meta http-equiv=\"refresh\" content=\"30\">"},
        {"<cvrefresh action>", 0, ""},
        {"[<cvrefresh>]", 30, "[30]"},
        {"<cvhiddenuser>", 0, "<input type=\"hidden\" value=\"lab\" name=\"UserID\">"},
        {"a<cvplatform squid>b</cvplatform>c", 0, "ac"},
        {"a<cvplatform standalone>b</CVPLATFORM>c", 0, "abc"},
        {"a<cvplatform>b", 0, "a<cvplatform>b"},
        {"<cvplatform x>1</cvplatform><cvstats name=FilteredImages>", 0, "3"},
        {"<cvunknown> <b>", 0, "<cvunknown> <b>"},
        {"<cvstats name=FilteredImages", 0, "<cvstats name=FilteredImages"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Expand(c.page, "lab", c.refresh, &statistic), c.out) << c.page;

    // The user name is escaped, and cut so that the field stays whole within
    // the bound of every replacement.
    EXPECT_EQ(Expand("<cvhiddenuser>", "\"><script>", 0, nullptr),
              "<input type=\"hidden\" value=\"&quot;&gt;&lt;script&gt;\" name=\"UserID\">");
    const std::string field = Expand("<cvhiddenuser>", std::string(300, 'u'), 0, nullptr);
    EXPECT_EQ(field.size(), kPseudoTagLimit);
    EXPECT_TRUE(field.ends_with("uuu\" name=\"UserID\">")) << field;
    const std::string cut =
        Expand("<cvhiddenuser>", std::string(150, 'u') + "&&&&&&&&&&", 0, nullptr);
    EXPECT_LE(cut.size(), kPseudoTagLimit);
    EXPECT_TRUE(cut.ends_with("&amp;\" name=\"UserID\">")) << cut;

    // The chart: one bar per counter, no script.
    const std::string chart =
        Expand("<cvstatschart names=\"FilteredImages,Requests\">", "", 0, &statistic);
    EXPECT_TRUE(chart.starts_with("<svg ")) << chart;
    EXPECT_EQ(chart.find("<script"), std::string::npos);
    EXPECT_NE(chart.find(">FilteredImages</text>"), std::string::npos);
    EXPECT_NE(chart.find("width=\"260\" height=\"14\""), std::string::npos) << chart;
}

TEST(BuiltInPages, RatePageTags) {
    const struct {
        const char* url;
        const char* page;
        const char* out;
    } cases[] = {
        {"http://a.test/?x=1&y=\"2\"", "<cvurl>", "http://a.test/?x=1&amp;y=&quot;2&quot;"},
        {"", "[<cvurl>]", "[]"},
        {"http://a.test/x y", "<cvtoprateframe>",
         "<FRAME SRC=\"/cvrate?top=1&amp;url=http%3A%2F%2Fa.test%2Fx%20y\" NAME=\"_top\" "
         "FRAMEBORDER=2 NORESIZE>"},
        {"HTTP://a.test/", "<cvbottomrateframe>",
         "<FRAME SRC=\"HTTP://a.test/\" NAME=\"_bottom\" FRAMEBORDER=2 marginheight=0>"},
        {"javascript:alert(1)", "<cvbottomrateframe>",
         "<FRAME SRC=\"/blank.html\" NAME=\"_bottom\" FRAMEBORDER=2 marginheight=0>"},
        {"a\"b", "<cvinputurl>",
         "<input type=text name=\"url\" value=\"a&quot;b\" size=60 maxlength=150>"},
        {"x", "<cvhiddenuser>", "<cvhiddenuser>"},
    };
    for (const auto& c : cases) {
        CIString page(c.page);
        ExpandRateTags(page, c.url);
        EXPECT_EQ(page.View(), c.out) << c.url;
    }
    CIString frame("<cvtoprateframe>");
    ExpandRateTags(frame, "http://a.test/" + std::string(300, '/'));
    EXPECT_LE(frame.size(), kPseudoTagLimit);
    EXPECT_TRUE(frame.View().ends_with("%2F%2F\" NAME=\"_top\" FRAMEBORDER=2 NORESIZE>"))
        << frame.View();
}

TEST(BuiltInPages, MediaTypesByExtension) {
    const struct {
        const char* name;
        const char* type;
    } cases[] = {
        {"a.htm", "text/html"},      {"help/A.HTM", "text/html"},
        {"notes.txt", "text/plain"}, {"m.swf", "application/x-shockwave-flash"},
        {"i.GIF", "image/gif"},      {"p.jpg", "image/jpeg"},
        {"archive.tar.gz", ""},      {"a.html/readme", ""},
        {"noextension", ""},         {"dot.", ""},
    };
    for (const auto& c : cases) {
        std::string type = "stale";
        EXPECT_EQ(GetMediaTypeByExtension(c.name, type), *c.type != '\0') << c.name;
        EXPECT_EQ(type, c.type) << c.name;
    }
}

TEST(BuiltInPages, OnlyFilesInsideTheDirectory) {
    namespace fs = std::filesystem;
    TempDir root;
    fs::create_directories(root / "files/sub");
    root.Write("files/a.html", "A");
    root.Write("files/sub/b.htm", "B");
    root.Write("secret.txt", "S");
    fs::create_directories(root / "files2");
    root.Write("files2/c.html", "C");
    fs::create_symlink(root / "secret.txt", root / "files/out.html");
    fs::create_symlink("../files2", root / "files/away");
    fs::create_symlink("a.html", root / "files/in.html");
    const std::string dir = root / "files/";
    const struct {
        std::string name;
        const char* content; // null: refused
    } cases[] = {
        {"a.html", "A"},
        {"sub/b.htm", "B"},
        {"./sub//b.htm", "B"},
        {"in.html", "A"},
        {"../secret.txt", nullptr},
        {"sub/../a.html", nullptr},
        {"..", nullptr},
        {root / "secret.txt", nullptr},
        {"/etc/passwd", nullptr},
        {"sub\\b.htm", nullptr},
        {std::string("a.html\0.gif", 11), nullptr},
        {"out.html", nullptr},
        {"away/c.html", nullptr},
        {"sub", nullptr},
        {"", nullptr},
        {"missing.html", nullptr},
    };
    for (const auto& c : cases) {
        std::string path;
        const bool found = ResolveFilesPath(dir, c.name, path);
        EXPECT_EQ(found, c.content != nullptr) << c.name << " -> " << path;
        CIString text;
        if (found && c.content) {
            EXPECT_TRUE(ReadPageFile(path, text));
            EXPECT_EQ(text.View(), c.content) << c.name;
        }
    }
}

TEST(BuiltInPages, ResetValuesOfTheStatisticsPage) {
    using Reset = CInternalStatsHandler::Reset;
    const struct {
        const char* value;
        Reset reset;
    } cases[] = {
        {"yes", Reset::Yes}, {"+yes+", Reset::Yes}, {" +YES ", Reset::Yes}, {"no", Reset::No},
        {"+No+", Reset::No}, {"", Reset::Ask},      {"1", Reset::Ask},      {"yess", Reset::Ask},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CInternalStatsHandler::ResetOf(c.value), c.reset) << c.value;
}

TEST(BuiltInPages, RatingLineIsSignedWithHmacMd5) {
    std::tm time{};
    time.tm_year = 126;
    time.tm_mon = 11;
    time.tm_mday = 7;
    time.tm_hour = 9;
    time.tm_min = 5;
    time.tm_sec = 3;
    // The signature is the HMAC-MD5 of the line before it, in base64, under
    // the key the rating collector knows.
    EXPECT_EQ(
        CInternalRateHandler::RatingLine(time, "http://a.test/\tx\ny", "Sports, News"),
        "07/Dec/2026:09:05:03\thttp://a.test/%09x%0Ay\tSports, News\tqovJIDSkEFrAg7zdi6HX3w==\n");
}
