#include "text/CIString.h"
#include "text/Vocabulary.h"

#include <gtest/gtest.h>
#include <map>

TEST(CIString, EqualityFoldsOnlyAsciiLetters) {
    EXPECT_EQ(CIString("Content-Type"), CIString("content-TYPE"));
    EXPECT_EQ(CIString("Content-Type"), "CONTENT-TYPE");
    EXPECT_NE(CIString("\xC4"), CIString("\xE4")); // no folding above 0x7F
    EXPECT_NE(CIString("a["), CIString("a{"));     // '[' and '{' are 0x20 apart but not letters
    EXPECT_EQ(CIString(std::string("a\0b", 3)).size(), 3u);
    EXPECT_NE(CIString(std::string("a\0b", 3)), CIString("a"));
}

TEST(CIString, OrderingIsFoldedAndSigned) {
    EXPECT_LT(CIString("abc"), CIString("ABD"));
    EXPECT_LT(CIString("ab"), CIString("ABC"));
    EXPECT_LT(CIString("a"), CIString("B"));
    EXPECT_LT(CIString("\xE9tude"), CIString("A")); // high bytes order below ASCII

    std::map<CIString, int> keys{{"ProxyEngine.LocalPort", 1}};
    EXPECT_EQ(keys.count("proxyengine.localport"), 1u);
}

TEST(CIString, SearchIgnoresCase) {
    const CIString page("<html><IMG SRC=x><Script>");
    EXPECT_EQ(page.find("img"), 7u);
    EXPECT_EQ(page.find("script"), 18u);
    EXPECT_EQ(page.find('s'), 11u);
    EXPECT_EQ(page.find("table"), CIString::npos);
}

TEST(CIString, NumberConversions) {
    CIString text;
    EXPECT_EQ(text.ToInt(), 0);
    EXPECT_EQ(CIString("  42x").ToInt(), 42);
    EXPECT_EQ(CIString("-7").ToInt(), -7);
    EXPECT_EQ(CIString("x1").ToInt(), 0);
    EXPECT_EQ(text.FromInt(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(text.FromInt(0), "0");
}

TEST(CIString, Trimming) {
    CIString tag("\r\n  <img>");
    EXPECT_EQ(tag.TrimLeft(), "<img>");
    CIString kept("a ");
    EXPECT_EQ(kept.TrimLeft(), "a ");
    CIString tail("a \t");
    EXPECT_EQ(tail.TrimRight(), "a");
    CIString quoted("''x'''");
    EXPECT_EQ(quoted.TrimLeft("'").TrimRight("'"), "x");
    CIString nul(std::string("\0\0 x", 4));
    EXPECT_EQ(nul.TrimLeft(" "), "x"); // a NUL byte belongs to every set
    CIString blank("   ");
    EXPECT_EQ(blank.Trim(), "");
}

TEST(Vocabulary, KeepsTheWrittenSpellings) {
    EXPECT_EQ(vocab::kHdrContentType.Str(), "Content-type");
    EXPECT_EQ(vocab::kHdrEtag.Str(), "Etag");
    EXPECT_EQ(vocab::kHdrWWWAuthenticate.Str(), "WWW-Authenticate");
    EXPECT_EQ(vocab::kHtmlEndScript.Str(), "</script");
    EXPECT_EQ(vocab::kHtmlEndFrameset.Str(), "/frameset");
    // Two constants of the same text behave alike.
    EXPECT_EQ(vocab::kMetaCacheControl, vocab::kHdrCacheControl);
    EXPECT_EQ(vocab::kCvStats, vocab::kResCvStats);
    EXPECT_EQ(vocab::kHtmlOnMouseOver, "ONMOUSEOVER");
}
