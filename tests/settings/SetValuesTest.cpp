#include "settings/CSetBool.h"
#include "settings/CSetFlags.h"
#include "settings/CSetInt.h"
#include "settings/CSetStr.h"

#include <gtest/gtest.h>

namespace {

template <class T> CIString Text(const T& value, int sub = -1) {
    CIString text = "unchanged";
    value.GetString(sub, text);
    return text;
}

} // namespace

TEST(SetValues, BoolReadsAnyNonZeroNumberAsTrue) {
    CSetBool value(true);
    for (const char* falseText : {"0", "", "abc", "  0x1"}) {
        value.Set(true);
        value.SetString(-1, falseText);
        EXPECT_FALSE(value.Get()) << falseText;
        EXPECT_EQ(Text(value), "0");
    }
    for (const char* trueText : {"1", "7", "-1", " 2", "3abc"}) {
        value.Set(false);
        value.SetString(-1, trueText);
        EXPECT_TRUE(value.Get()) << trueText;
        EXPECT_EQ(Text(value), "1");
    }
}

TEST(SetValues, FlagsTouchOnlyTheBitOfTheirKey) {
    CSetFlags word(0x1E0000);
    EXPECT_EQ(Text(word, 17), "1");
    EXPECT_EQ(Text(word, 11), "0");
    word.SetString(11, "1");
    EXPECT_EQ(word.Get(), 0x1E0800u);
    word.SetString(40, "1"); // sub-keys wrap at 32
    EXPECT_EQ(word.Get(), 0x1E0900u);
    EXPECT_TRUE(word.IsSet(8));
    word.SetString(17, "");
    EXPECT_EQ(word.Get(), 0x1C0900u);
    word.SetString(18, "0");
    EXPECT_EQ(word.Get(), 0x180900u);
    word.SetString(31, "5");
    EXPECT_EQ(word.Get(), 0x80180900u);
    EXPECT_EQ(Text(word, 31), "1");
    word.SetBit(31, false);
    EXPECT_EQ(word.Get(), 0x180900u);
}

TEST(SetValues, StringIsQuotedAndEscaped) {
    CSetStr value;
    const auto written = [&](std::string_view text) {
        value.Set(text);
        return Text(value);
    };
    EXPECT_EQ(written(""), "''");
    EXPECT_EQ(written("it's"), "'it\\'s'");
    EXPECT_EQ(written("a\\b"), "'a\\\\b'");
    EXPECT_EQ(written("a\tb"), "'a\\tb'");
    // A pair of line-break bytes is one line break, a lone one too.
    EXPECT_EQ(written("a\r\nb"), "'a\\nb'");
    EXPECT_EQ(written("a\n\rb"), "'a\\nb'");
    EXPECT_EQ(written("a\nb\rc"), "'a\\nb\\nc'");
    EXPECT_EQ(written("a\n\n\nb"), "'a\\n\\nb'");
    EXPECT_EQ(written("end\r\n"), "'end\\n'");
    EXPECT_EQ(written("end\r"), "'end\\n'");
}

TEST(SetValues, StringReadsBackWhatItWrote) {
    CSetStr value("before");
    const auto read = [&](std::string_view text) {
        value.SetString(-1, CIString(text));
        return value.Get().Str();
    };
    EXPECT_EQ(read(""), "");
    EXPECT_EQ(read("''"), "");
    EXPECT_EQ(read("'''x'''"), "x");
    EXPECT_EQ(read("'a\\\\b'"), "a\\b");
    EXPECT_EQ(read("'it\\'s'"), "it's");
    EXPECT_EQ(read("'a\\nb\\tc'"), "a\nb\tc");
    EXPECT_EQ(read("plain"), "plain");   // hand-edited, no quotes
    EXPECT_EQ(read("'a\\xb'"), "a\\xb"); // unknown escapes stay
    EXPECT_EQ(read("'trailing\\\\'"), "trailing\\");
    // A value that ends in a quote keeps it (it is written escaped).
    EXPECT_EQ(read("'it\\''"), "it'");
    EXPECT_EQ(read("'x\\'''"), "x'");
    EXPECT_EQ(read("x\\'"), "x'");
    EXPECT_EQ(read("'\\\\n'"), "\\n");

    for (std::string_view original :
         {"", "x", "it's \\ 'quoted' \t", "\\\\\\", "a\nb", "'lead", "trail'", "\\'", "''", "\\"}) {
        CSetStr source(original);
        CSetStr copy;
        copy.SetString(-1, Text(source));
        EXPECT_EQ(copy.Get().Str(), original);
    }
}
