#include "support/LoopbackPair.h"

#include "http/CConnInfo.h"
#include "settings/CSettings.h"
#include "web/CWebListEditor.h"
#include "web/InternalRequest.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

// One list page request against settings of its own.
struct Editor {
    LoopbackPair pair;
    CConnInfo message;
    InternalRequest request{pair.socket, message};
    CSettings settings{"", nullptr, true};

    CSet& List(std::string_view type) {
        switch (CWebListEditor::TypeOf(type)) {
        case CWebListEditor::kDim:
            return settings.DimensionList();
        case CWebListEditor::kURL:
            return settings.URLList();
        case CWebListEditor::kCookie:
            return settings.CookieList();
        case CWebListEditor::kBlock:
            return settings.BlockList();
        case CWebListEditor::kMedia:
            return settings.MediaTypes();
        default:
            return settings.WhiteList();
        }
    }

    // Lines separated by '|'; the list is filled from them first.
    void Fill(std::string_view type, std::string_view lines) {
        CSet::Lines parsed;
        while (!lines.empty()) {
            const auto bar = lines.find('|');
            parsed.emplace_back(lines.substr(0, bar));
            lines = bar == std::string_view::npos ? std::string_view() : lines.substr(bar + 1);
        }
        List(type).SetLines(0, parsed, false);
    }
    std::string Lines(std::string_view type) {
        CSet::Lines lines;
        List(type).GetLines(0, lines);
        std::string out;
        for (const CIString& line : lines)
            out += (out.empty() ? "" : "|") + std::string(line.View());
        return out;
    }

    // Parameters as "name=value&..." (values as they arrive, decoded).
    std::string Run(std::string_view type, std::string_view parameters, bool post = true) {
        auto& map = request.Parameters();
        map.clear();
        map.emplace(CIString("navTo"), CIString("list_editor"));
        map.emplace(CIString("listType"), CIString(type));
        while (!parameters.empty()) {
            const auto amp = parameters.find('&');
            const std::string_view piece = parameters.substr(0, amp);
            const auto eq = piece.find('=');
            map.emplace(CIString(piece.substr(0, eq)),
                        CIString(eq == std::string_view::npos ? "" : piece.substr(eq + 1)));
            parameters =
                amp == std::string_view::npos ? std::string_view() : parameters.substr(amp + 1);
        }
        CIString page;
        CWebListEditor editor(&request, settings, post);
        EXPECT_TRUE(editor.Handle(page));
        return std::string(page.View());
    }
};

// The from= of the link whose text is given; empty when there is none.
std::string LinkFrom(const std::string& page, std::string_view text) {
    const auto at = page.find(text);
    if (at == std::string::npos)
        return {};
    const auto start = page.rfind("&amp;from=", at) + 10;
    return page.substr(start, page.find("&amp;", start) - start);
}

} // namespace

TEST(ListEditor, AddingPerListTypeWithItsMessages) {
    const struct {
        const char* type;
        const char* before;
        const char* parameters;
        const char* message;
        const char* after;
    } cases[] = {
        {"DIM", "468,60", "new1=120 x 600", "'120 x 600' added successfully", "468,60|120,600"},
        {"DIM", "468,60", "new1=468 x 60", "Error adding '468 x 60' ", "468,60"},
        {"DIM", "", "new1=+468*60", "'+468*60' added successfully", "468,60"},
        {"DIM", "", "new1=0x60", "Error adding '0x60' ", ""},
        {"DIM", "", "new1=88 x 31&newinactive=1", "'88 x 31' added successfully", "//88,31"},
        {"DIM", "", "new1=4294967764x60", "Error adding '4294967764x60' ", ""},
        {"URL", "ads/", "new1=ads/", "Error adding 'ads/' . It is already in the list !", "ads/"},
        {"URL", "", "new1=a b&newinactive=1&newdontfilter=1", "'a b' added successfully",
         "//!a%20b"},
        {"BLOCK", "", "new1=evil.*", "'evil.*' added successfully", "evil.*"},
        {"COOKIE", "ads,2", "new1=ads&cookieType=kCookieBad",
         "Error adding 'ads' . It is already in the list !", "ads,2|*,1"},
        {"COOKIE", "", "new1=good.*&cookieType=kCookieGood", "'good.*' added successfully",
         "good.*,2|*,1"},
        {"COOKIE", "", "new1=x&cookieType=other", "'x' added successfully", "x,1|*,1"},
        // Kept as the host pattern its line reads back as.
        {"COOKIE", "", "new1=http://Ads.example:81/x&cookieType=kCookieGood",
         "'http://Ads.example:81/x' added successfully", "ads.example,2|*,1"},
        {"COOKIE", "", "new1=*", "Error adding '*' ", "*,1"},
        {"MEDIA", "", "new1=image/gif;gif&newinactive=1&newdontfilter=1",
         "'image/gif;gif' added successfully", "//!image/gif;gif"},
        {"WHITE", "", "new1=site&newprivacy=1&newsecurity=1", "'site' added successfully",
         "site,6"},
        {"WHITE", "site,1", "new1=site&newblocking=1",
         "Error adding 'site' . It is already in the list !", "site,1"},
        {"URL", "", "new1=<b>", "'&lt;b&gt;' added successfully", "<b>"},
        {"MEDIA", "", "new1=text/ html", "Error adding 'text/ html' ", ""},
        // The settings file keeps a line that opens with '['.
        {"URL", "", "new1=//![ab]ds", "'//![ab]ds' added successfully", "[ab]ds"},
        {"COOKIE", "", "new1= [x]", "' [x]' added successfully", "[x],1|*,1"},
        {"URL", "", "new1=*[ab]ds", "'*[ab]ds' added successfully", "*[ab]ds"},
        {"URL", "", "", "", ""},
    };
    for (const auto& c : cases) {
        Editor editor;
        editor.Fill(c.type, c.before);
        const std::string page = editor.Run(c.type, c.parameters);
        EXPECT_NE(page.find(std::string("<p>") + c.message + "</p>"), std::string::npos)
            << c.type << " " << c.parameters;
        EXPECT_EQ(editor.Lines(c.type), c.after) << c.type << " " << c.parameters;
    }
}

TEST(ListEditor, RowsApplyByTheNumbersShown) {
    const struct {
        const char* type;
        const char* before;
        const char* parameters;
        const char* after;
    } cases[] = {
        // Delete 3 and deactivate the entry shown as 5 in one submit.
        {"URL", "a|b|c|d|e|f|g", "set=yes&3_shown=1&3_delete=1&5_shown=1&5_inactive=1",
         "a|b|c|e|//f|g"},
        {"URL", "a|b", "set=yes&0_shown=1&0_entry=b&1_shown=1&1_entry=c&1_dontfilter=1", "a|!c"},
        {"URL", "a", "set=yes&0_shown=1&0_entry=", "a"},
        {"WHITE", "a,1", "set=yes&0_shown=1&0_entry=[a]&0_standard=1", "[a],1"},
        {"BLOCK", "x|y", "set=yes&0_shown=1&0_delete=1&1_shown=1&1_delete=1", ""},
        {"DIM", "468,60|1,1", "set=yes&0_shown=1&0_entry=1 x 1&1_shown=1&1_entry=2+x+2",
         "468,60|2,2"},
        {"DIM", "468,60|//1,1", "set=yes&0_shown=1&0_inactive=1&1_shown=1", "//468,60|1,1"},
        {"COOKIE", "a,0|b,0",
         "set=yes&0_shown=1&0_cookieType=kCookieGood&1_shown=1&1_entry=z.*&1_cookieType=x",
         "a,2|z.*,1|*,1"},
        {"MEDIA", "image/gif;gif|text/x", "set=yes&0_shown=1&0_dontfilter=1&1_shown=1&1_inactive=1",
         "!image/gif;gif|//text/x"},
        {"WHITE", "site,22", "set=yes&0_shown=1&0_standard=1&0_blocking=1", "site,25"},
        {"WHITE", "a,1|b,1", "set=yes&0_shown=1&0_entry=b&0_standard=1", "a,1|b,1"},
        // Rows not shown stay as they are; without set nothing is applied.
        {"URL", "//a|b", "set=yes&1_shown=1&1_inactive=1", "//a|//b"},
        {"URL", "a|b", "1_shown=1&1_delete=1", "a|b"},
    };
    for (const auto& c : cases) {
        Editor editor;
        editor.Fill(c.type, c.before);
        editor.Run(c.type, c.parameters);
        EXPECT_EQ(editor.Lines(c.type), c.after) << c.type << " " << c.parameters;
    }

    // A GET (the search form, or a link from elsewhere) changes nothing.
    Editor editor;
    editor.Fill("URL", "a|b");
    editor.Run("URL", "set=yes&0_shown=1&0_delete=1&new1=c", false);
    EXPECT_EQ(editor.Lines("URL"), "a|b");
}

TEST(ListEditor, SearchAndPagesOfTen) {
    Editor editor;
    std::string lines;
    for (int i = 0; i < 25; ++i)
        lines += (i ? "|" : "") + std::string(i % 2 ? "ad" : "track") + std::to_string(i) + "/";
    editor.Fill("URL", lines);
    const auto rows = [](const std::string& page) {
        std::string numbers;
        for (auto at = page.find("_shown"); at != std::string::npos;
             at = page.find("_shown", at + 1)) {
            const auto start = page.rfind('"', at) + 1;
            numbers += (numbers.empty() ? "" : ",") + page.substr(start, at - start);
        }
        return numbers;
    };
    const struct {
        const char* parameters;
        const char* rows;
        const char* nextFrom; // empty: no next link
        const char* backFrom; // empty: no back link
    } cases[] = {
        {"", "0,1,2,3,4,5,6,7,8,9", "10", ""},
        {"from=10", "10,11,12,13,14,15,16,17,18,19", "20", "0"},
        {"from=20", "20,21,22,23,24", "", "10"},
        {"from=13", "10,11,12,13,14,15,16,17,18,19", "20", "0"},
        {"from=-7", "0,1,2,3,4,5,6,7,8,9", "10", ""},
        {"from=2147483647", "", "", "999999990"},
        {"find=ad*", "1,3,5,7,9,11,13,15,17,19", "10", ""},
        {"find=ad*&from=10", "21,23", "", "0"},
        {"find=nothing", "", "", ""},
    };
    for (const auto& c : cases) {
        const std::string page = editor.Run("URL", c.parameters, false);
        EXPECT_EQ(rows(page), c.rows) << c.parameters;
        EXPECT_EQ(LinkFrom(page, "\">next entrys &gt;&gt;</a>"), c.nextFrom) << c.parameters;
        EXPECT_EQ(LinkFrom(page, "\">&lt;&lt; last entrys</a>"), c.backFrom) << c.parameters;
    }
    EXPECT_NE(editor.Run("URL", "find=ad*", false).find("Found the following entries with 'ad*'"),
              std::string::npos);
    EXPECT_NE(editor.Run("URL", "find=nothing", false).find("No entry found with 'nothing'"),
              std::string::npos);
    EXPECT_NE(editor.Run("URL", "find=a b", false).find("value=\"a%20b\""), std::string::npos);
}

TEST(ListEditor, NothingFromARequestOrAListReachesThePageUnescaped) {
    Editor editor;
    editor.Fill("WHITE", "<script>x</script>$find$,1");
    const std::string page = editor.Run("WHITE", "find=\"><img src=x onerror=alert(1)>", false);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_EQ(page.find("<img src=x"), std::string::npos);
    EXPECT_NE(editor.Run("WHITE", "", false)
                  .find("value=\"&lt;script&gt;x&lt;/script&gt;&#36;find&#36;\""),
              std::string::npos);
    EXPECT_NE(page.find("&quot;&gt;&lt;img src=x"), std::string::npos);

    Editor unknown;
    const std::string missing = unknown.Run("<b>", "", false);
    EXPECT_EQ(missing, "file not found in map:list_editor&lt;b&gt;.html");
}
