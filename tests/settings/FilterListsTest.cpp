#include "settings/CSetCookieList.h"
#include "settings/CSetDimList.h"
#include "settings/CSetGroupList.h"
#include "settings/CSetMediaTypes.h"
#include "settings/CSetURLList.h"
#include "settings/CSetWhiteList.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <string>
#include <vector>

namespace {

CSet::Lines L(std::initializer_list<const char*> texts) {
    CSet::Lines lines;
    for (const char* text : texts)
        lines.emplace_back(text);
    return lines;
}

std::vector<std::string> Written(const CSet& list) {
    CSet::Lines lines;
    list.GetLines(-1, lines);
    std::vector<std::string> out;
    for (const auto& line : lines)
        out.push_back(line.Str());
    return out;
}

using Strings = std::vector<std::string>;

} // namespace

TEST(CSetURLList, LineSyntaxAndWrittenForm) {
    CSetURLList list;
    list.SetLines(-1, L({"//!ads/", "/Banner/", "a b", "!!//x", "/banner/", "//doubleclick."}),
                  false);
    // The duplicate /banner/ is dropped; the blank is stored percent-encoded.
    EXPECT_EQ(Written(list), (Strings{"//!ads/", "/banner/", "a%20b", "!x", "//doubleclick."}));
    CSetURLList::EntryInfo info;
    ASSERT_TRUE(list.GetEntry(0, info));
    EXPECT_FALSE(info.active);
    EXPECT_TRUE(info.dontFilter);
    EXPECT_EQ(info.pattern, "ads/");

    EXPECT_EQ(list.Match("http://x.com/BANNER/1.gif"), 1);
    EXPECT_EQ(list.Match("http://q.com/ads/1.gif"), 0); // inactive
    EXPECT_EQ(list.Match("http://q/a b"), 0);           // the list holds the encoded blank
    EXPECT_EQ(list.Match("http://q/a%20b"), 1);
    EXPECT_EQ(list.Match("http://q.doubleclick.net/"), 0);
    EXPECT_EQ(list.Match("http://q/x"), 2);             // "!x" is a don't-filter entry
    EXPECT_EQ(list.Match("http://q.com/x/banner/"), 1); // the first match decides
    EXPECT_EQ(list.Match("http://q/q"), 0);

    // Appending keeps the entries, a fresh read replaces them.
    list.SetLines(-1, L({"zzz"}), true);
    EXPECT_EQ(list.Count(), 6u);
    list.SetLines(-1, L({"zzz"}), false);
    EXPECT_EQ(Written(list), Strings{"zzz"});
}

TEST(CSetURLList, FirstActiveMatchDecidesAndBuiltInPrefix) {
    CSetURLList list;
    const char* table[] = {"! \tnever", " x\tgood.com", " X\tbuilt",
                           "  \t/ad/",  "//plain",      nullptr};
    list.LoadBuiltIn(-1, table, false);
    EXPECT_EQ(Written(list), (Strings{"//never", "!good.com", "!built", "/ad/", "//plain"}));
    CSetURLList::EntryInfo info;
    ASSERT_TRUE(list.GetEntry(2, info));
    EXPECT_TRUE(info.builtIn);
    ASSERT_TRUE(list.GetEntry(1, info));
    EXPECT_FALSE(info.builtIn);
    EXPECT_EQ(list.Match("http://never/"), 0);
    EXPECT_EQ(list.Match("http://good.com/ad/"), 2);
    EXPECT_EQ(list.Match("http://bad.com/ad/"), 1);

    // LoadBuiltIn always starts afresh.
    list.LoadBuiltIn(-1, table + 3, false);
    EXPECT_EQ(list.Count(), 2u);
}

TEST(CSetURLList, EditingRefusesDuplicates) {
    CSetURLList list;
    EXPECT_TRUE(list.Add("/ads/", true, false));
    EXPECT_EQ(list.Match("http://x/ads/"), 1); // every edit below must reach the lookups
    EXPECT_FALSE(list.Add("/ADS/", false, true));
    EXPECT_TRUE(list.Add("!//banner", false, true)); // normalised to "banner"
    EXPECT_FALSE(list.Add("banner", true, false));
    EXPECT_FALSE(list.ChangePattern(1, "/Ads/"));
    EXPECT_TRUE(list.ChangePattern(1, "/Ads/x"));
    EXPECT_TRUE(list.ChangePattern(1, "/ads/x")); // its own pattern again
    EXPECT_TRUE(list.SetFlags(0, false, true));
    EXPECT_EQ(Written(list), (Strings{"//!/ads/", "//!/ads/x"}));
    EXPECT_EQ(list.Match("http://x/ads/"), 0);
    EXPECT_TRUE(list.SetFlags(1, true, false));
    EXPECT_EQ(list.Match("http://x/ads/x"), 1);
    EXPECT_TRUE(list.Remove(0));
    EXPECT_FALSE(list.Remove(5));
    EXPECT_FALSE(list.ChangePattern(3, "q"));
    EXPECT_EQ(Written(list), (Strings{"/ads/x"}));
    EXPECT_EQ(list.Match("http://x/ads/x"), 1);
    // An entry that does not compile is kept and written back, and matches nothing.
    EXPECT_TRUE(list.AddLine("bad[]"));
    EXPECT_EQ(list.Match("bad[]"), 0);
    EXPECT_EQ(Written(list).back(), "bad[]");
}

TEST(CSetCookieList, LineSyntax) {
    CSetCookieList list;
    EXPECT_EQ(Written(list), Strings{"*,1"});
    EXPECT_EQ(list.DefaultManner(), kCookieNeutral);
    list.SetLines(-1,
                  L({"ads,2", "x://Ads:81/y,0", "*,0", "plain", "weird,7", "ads", "", "/path",
                     "tracker.com,1,2", "a!b#c,1"}),
                  false);
    EXPECT_EQ(Written(list),
              (Strings{"ads,2", "plain,0", "weird.7,0", "tracker.com.1,2", "abc,1", "*,0"}));
    EXPECT_EQ(list.DefaultManner(), kCookieBad);
    EXPECT_EQ(list.Lookup("www.ADS.com"), kCookieGood);
    EXPECT_EQ(list.Lookup("plain.org"), kCookieBad);
    EXPECT_EQ(list.Lookup("nothing.org"), 0);
    // A text equal to an entry's pattern is refused before it is reduced.
    EXPECT_FALSE(list.AddLine("plain,2"));
    EXPECT_FALSE(list.AddLine("http:///x"));
    EXPECT_FALSE(list.AddLine(std::string_view("nul\0cut,1", 9))); // would be written as ",0"

    list.SetLines(-1, L({"only,2"}), false);
    EXPECT_EQ(Written(list), (Strings{"only,2", "*,0"}));
}

TEST(CSetCookieList, EditsReachTheLookups) {
    CSetCookieList list;
    EXPECT_TRUE(list.Add("Ads.com", kCookieNeutral));
    EXPECT_FALSE(list.Add("ads.COM", kCookieGood));
    EXPECT_TRUE(list.Add("x.org", kCookieGood));
    EXPECT_TRUE(list.SetManner(1, kCookieBad));
    EXPECT_TRUE(list.Remove(0));
    EXPECT_EQ(list.Lookup("ads.com"), 0);
    EXPECT_EQ(list.Lookup("www.x.org"), kCookieBad);
}

TEST(CSetDimList, LineSyntax) {
    CSetDimList list;
    list.SetLines(-1,
                  L({"468,60", "468 x 60", "468x60", "0,60", "40000,60", "//120,600", "", "abc",
                     "88 x31", "//88,31", "32767,1"}),
                  false);
    EXPECT_EQ(Written(list), (Strings{"468,60", "//120,600", "88,31", "32767,1"}));
    EXPECT_TRUE(list.Contains(468, 60));
    EXPECT_FALSE(list.Contains(120, 600));
    EXPECT_FALSE(list.Contains(-120, -600));
    EXPECT_FALSE(list.Contains(60, 468));
}

TEST(CSetDimList, EditingRefusesDuplicatesAndReachesTheLookups) {
    CSetDimList list;
    list.SetLines(-1, L({"468,60", "//120,600", "88,31"}), false);
    EXPECT_FALSE(list.ChangeSize(0, "120x600")); // another entry has it
    EXPECT_TRUE(list.ChangeSize(0, "468 x 60")); // its own size
    EXPECT_TRUE(list.ChangeSize(1, "125,125"));  // stays inactive
    EXPECT_TRUE(list.SetActive(1, true));
    EXPECT_TRUE(list.Contains(125, 125));
    EXPECT_TRUE(list.Remove(0));
    EXPECT_FALSE(list.Contains(468, 60));
}

TEST(CSetMediaTypes, LineSyntaxOrderAndLookups) {
    CSetMediaTypes list;
    list.SetLines(-1,
                  L({"!image/gif;.gif", "video", "//application/x-shockwave-flash; .swf",
                     "audio/mpeg;mp3", "Image/gif;x", "  \tapplication/zip;zip",
                     // refused: a blank inside, or a flag character in front
                     "ab\tx\ty", "text/ html;htm", "text/html;h tm", " //x", "//!!y"}),
                  false);
    EXPECT_EQ(Written(list),
              (Strings{"//application/x-shockwave-flash;..swf", "application/zip;zip",
                       "audio/mpeg;mp3", "!image/gif;gif", "Image/gif;x", "video"}));
    CSet::Lines saved;
    list.GetLines(-1, saved);
    CSetMediaTypes reread;
    reread.SetLines(-1, saved, false);
    EXPECT_EQ(Written(reread), Written(list)); // a saved list reads back as it was
    EXPECT_EQ(list.MatchType("IMAGE/GIF"), 2);
    EXPECT_EQ(list.MatchType("video/mp4"), 1); // the main type covers it
    EXPECT_EQ(list.MatchType("image/png"), 0);
    EXPECT_EQ(list.MatchType("application/x-shockwave-flash"), 0); // only inactive entries
    EXPECT_EQ(list.MatchType("application/zip"), 1);
    EXPECT_EQ(list.MatchExtension("GIF"), 2);
    EXPECT_EQ(list.MatchExtension("swf"), 0);
    EXPECT_EQ(list.MatchExtension(".swf"), 0); // inactive; the blank kept its point
    EXPECT_EQ(list.MatchExtension("mp3"), 1);
    // "video" has no extension; a URL without one is not claimed by it.
    EXPECT_EQ(list.MatchExtension(""), 0);

    EXPECT_TRUE(list.SetFlags(0, true, false));
    EXPECT_EQ(list.MatchType("application/x-shockwave-flash"), 1);
}

TEST(CSetWhiteList, LineSyntaxAndEditing) {
    CSetWhiteList list;
    list.SetLines(-1, L({"site,6", "nocomma", ",3", "site,1", "a,b,9", "junk,xyz", "Big.com,15"}),
                  false);
    EXPECT_EQ(Written(list), (Strings{"site,6", "a,b,9", "junk,0", "big.com,15"}));
    EXPECT_EQ(list.Lookup("http://site/x"), kWhitePrivacy | kWhiteSecurity);
    EXPECT_EQ(list.Lookup("http://www.BIG.com/"), 15u);
    EXPECT_EQ(list.Lookup(""), 0u);
    EXPECT_EQ(list.Lookup("http://other/"), 0u);

    EXPECT_FALSE(list.Add("SITE", 1));
    EXPECT_FALSE(list.ChangePattern(0, "big.com"));
    EXPECT_TRUE(list.ChangePattern(0, "place"));
    EXPECT_TRUE(list.SetBits(0, kWhiteBlocking));
    EXPECT_TRUE(list.Remove(1));
    EXPECT_EQ(Written(list), (Strings{"place,8", "junk,0", "big.com,15"}));
}

TEST(CSetGroupList, RangesMasksAndRefusals) {
    CSetGroupList list;
    list.SetLines(-1,
                  L({"lab = 10.0.0.0/255.0.0.0", "office = 192.168.1.1 - 192.168.1.9",
                     "one = 192.168.1.20", "host = 192.168.1.30 / 255.255.255.255",
                     "none = 192.168.1.40/0.0.0.0", "bad = 300.1.1.1", "noequals 1.2.3.4",
                     "badrange = 1.2.3.4 - x", "junkmask = 192.168.1.50/mask"}),
                  false);
    EXPECT_EQ(list.Count(), 4u);
    EXPECT_EQ(list.Lookup("10.1.2.3"), CIString("lab"));
    EXPECT_EQ(list.Lookup("11.1.2.3"), std::nullopt);
    EXPECT_EQ(list.Lookup("192.168.1.5"), CIString("office"));
    EXPECT_EQ(list.Lookup("192.168.1.9"), CIString("office"));
    EXPECT_EQ(list.Lookup("192.168.1.10"), std::nullopt);
    EXPECT_EQ(list.Lookup("192.168.1.20"), CIString("one"));
    EXPECT_EQ(list.Lookup("192.168.1.21"), std::nullopt);
    // A host mask written out in full means that one address.
    EXPECT_EQ(list.Lookup("192.168.1.30"), CIString("host"));
    EXPECT_EQ(list.Lookup("192.168.1.31"), std::nullopt);
    EXPECT_EQ(list.Lookup("192.168.1.40"), std::nullopt);
    EXPECT_EQ(list.Lookup("192.168.1.50"), std::nullopt);

    EXPECT_EQ(list.Lookup(CNetAddress::FromV4(0x0A090909)), CIString("lab"));
    EXPECT_EQ(list.Lookup(0x0A000001u), CIString("lab"));

    // The group list is never written back and never emptied by reading.
    EXPECT_TRUE(Written(list).empty());
    list.SetLines(-1, L({"late = 172.16.0.1"}), false);
    EXPECT_EQ(list.Count(), 5u);
    // The first matching entry wins.
    list.SetLines(-1, L({"shadow = 10.1.2.3"}), true);
    EXPECT_EQ(list.Lookup("10.1.2.3"), CIString("lab"));
}

TEST(CSetGroupList, IPv6PrefixesAndRanges) {
    CSetGroupList list;
    list.SetLines(-1,
                  L({"loop = ::1", "lab = 2001:DB8::/32", "office = fd00::10 - fd00::1f",
                     "mapped = ::ffff:192.168.7.0/120", "wide = 2001:db8::/0", "junk = ::/x",
                     "mixed = 10.0.0.1 - fd00::1", "zone = fe80::1%eth0"}),
                  false);
    EXPECT_EQ(list.Count(), 4u);
    const struct {
        const char* client;
        const char* group; // "" for none
    } cases[] = {
        {"::1", "loop"},
        {"::2", ""},
        {"2001:db8:ffff::1", "lab"},
        {"2001:db9::1", ""},
        {"fd00::10", "office"},
        {"fd00::1f", "office"},
        {"fd00::20", ""},
        {"192.168.7.200", "mapped"},
        {"::ffff:192.168.7.9", "mapped"},
        {"192.168.8.1", ""},
        {"0.0.0.1", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.client);
        const auto group = list.Lookup(std::string_view(c.client));
        EXPECT_EQ(group ? *group : CIString(), CIString(c.group));
    }
}
