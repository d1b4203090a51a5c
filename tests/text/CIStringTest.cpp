#include "text/CIString.h"

#include <gtest/gtest.h>
#include <map>

TEST(CIString, FoldsOnlyAsciiLettersAndOrdersSigned) {
    EXPECT_EQ(CIString("Content-Type"), "CONTENT-TYPE");
    EXPECT_NE(CIString("\xC4"), CIString("\xE4")); // no folding above 0x7F
    EXPECT_NE(CIString("a["), CIString("a{"));     // '[' and '{' are 0x20 apart but not letters
    EXPECT_NE(CIString(std::string("a\0b", 3)), CIString("a"));
    EXPECT_LT(CIString("abc"), CIString("ABD"));
    EXPECT_LT(CIString("ab"), CIString("ABC"));
    EXPECT_LT(CIString("\xE9tude"), CIString("A")); // high bytes order below ASCII
    std::map<CIString, int> keys{{"ProxyEngine.LocalPort", 1}};
    EXPECT_EQ(keys.count("proxyengine.localport"), 1u);

    const CIString page("<html><IMG SRC=x><Script>");
    EXPECT_EQ(page.find("script"), 18u);
    EXPECT_EQ(page.find('s'), 11u);
}

TEST(CIString, NumbersAndTrimming) {
    EXPECT_EQ(CIString("  42x").ToInt(), 42);
    EXPECT_EQ(CIString("-7").ToInt(), -7);
    EXPECT_EQ(CIString("x1").ToInt(), 0);
    CIString text;
    EXPECT_EQ(text.FromInt(-2147483647 - 1), "-2147483648");

    CIString tag("\r\n  <img>");
    EXPECT_EQ(tag.TrimLeft(), "<img>");
    CIString quoted("''x'''");
    EXPECT_EQ(quoted.TrimLeft("'").TrimRight("'"), "x");
    CIString nul(std::string("\0\0 x", 4));
    EXPECT_EQ(nul.TrimLeft(" "), "x"); // a NUL byte belongs to every set
    CIString blank("   ");
    EXPECT_EQ(blank.Trim(), "");
}
