#include "text/CRegEx.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <utility>

namespace {

using Hit = std::pair<std::size_t, std::size_t>; // offset, length

std::optional<Hit> Find(const CRegEx& pattern, const std::string& text,
                        CRegEx::Strategy strategy = CRegEx::Strategy::Auto) {
    CIString encoded(text);
    CRegEx::Encode(encoded);
    std::size_t length = 99;
    const char* at = pattern.Match(encoded.c_str(), encoded.size(), length, strategy);
    if (!at) {
        EXPECT_EQ(length, 0u);
        return std::nullopt;
    }
    return Hit{static_cast<std::size_t>(at - encoded.c_str()), length};
}

std::optional<Hit> Find(const char* pattern, const std::string& text) {
    CRegEx compiled;
    EXPECT_TRUE(compiled.SetPattern(pattern)) << pattern;
    return Find(compiled, text);
}

} // namespace

TEST(CRegEx, EncodingFoldsCaseAndBlanksBytesOutsideTheAlphabet) {
    CIString text("Http://Ex.com/a b?\"x\"");
    CRegEx::Encode(text);
    for (char c : text)
        EXPECT_LT(static_cast<unsigned char>(c), 64);
    CRegEx::DecodeToText(text);
    EXPECT_EQ(text.Str(), std::string("http://ex.com/a b?\0x\0", 21));
}

TEST(CRegEx, MatchesWithOffsetAndLength) {
    const struct {
        const char* pattern;
        const char* text;
        int offset; // -1: no match
        std::size_t length;
    } cases[] = {
        {"ads", "/ADS/banner.gif", 1, 3},
        {"ads", "/ad/s", -1, 0},
        {"gif", "a.gif.gif", 2, 3},
        // A byte outside the alphabet matches no literal.
        {"a\"b", "a\"c", -1, 0},
        {"ab", "a\"b", -1, 0},
        {"x", "", -1, 0},
        {"~ads", "ads/x", 0, 3},
        {"~ads", "/ads", -1, 0},
        {"gif$", "/a.gif?x", -1, 0},
        {"~abc$", "abc", 0, 3},
        {"~abc$", "abcabc", -1, 0},
        {"a\\$", "xa$y", 1, 2}, // an escaped dollar is a literal
        {"a\\$", "xa", -1, 0},
        {"/ad?/", "/ad1/", 0, 5},
        {"/ad?/", "/ad/", 0, 4},
        {"/ad?/", "/ad12/", -1, 0},
        {"abc*", "abc", -1, 0},
        {"abc*", "abcd", 0, 4},
        {"abc?", "abc", -1, 0},
        // A leading star stretches the match to the start of the text.
        {"*ads", "http://x/ads/1", 0, 12},
        {"x*y", "axbbyc", 1, 4},
        {"x*y", "yx", -1, 0},
        {"a*b*c", "aXcYb", -1, 0},
        // Leading question marks take at most that many bytes before the segment.
        {"?\?ad", "xyad", 0, 4},
        {"?\?ad", "ad", 0, 2},
        {"?\?ad", "xyzad", -1, 0},
        // Only wildcards: a lone star takes the whole text, question marks at
        // most as many bytes as there are.
        {"*", "abc", 0, 3},
        {"ab??", "xab1", 1, 3},
        {"???$", "ab", 0, 2},
        {"???$", "abcd", -1, 0},
        {"a[0-9]b", "a5b", 0, 3},
        {"a[0-9]b", "axb", -1, 0},
        {"a[^0-9]b", "a5b", -1, 0},
        {"[a-c]", "B", 0, 1},
        {"x[^abc]y", "xby", -1, 0},
        {"x[\\]]y", "x]y", 0, 3},
        {"x[a\\-c]y", "x-y", 0, 3}, // an escaped dash makes no range
        {"x[a\\-c]y", "xby", -1, 0},
        // Ranges follow the alphabet's order: '/' to '9' takes '.', not 'a'.
        {"[/-9]", ".", 0, 1},
        {"[/-9]", "a", -1, 0},
        {"(ad|banner)/", "/banner/", 1, 7},
        {"(ad|banner)/", "/ban/", -1, 0},
        {"(ad|banner)/", "/ads/", -1, 0},
        {"*(gif|jpg)$", "/a.jpg", 0, 6},
        // The second alternative is tried when the rest fails after the first.
        {"(a|b)c", "xbc", 1, 2},
    };
    for (const auto& c : cases) {
        const auto hit = Find(c.pattern, c.text);
        if (c.offset < 0)
            EXPECT_FALSE(hit) << c.pattern << " in " << c.text;
        else
            EXPECT_EQ(hit, (Hit{static_cast<std::size_t>(c.offset), c.length}))
                << c.pattern << " in " << c.text;
    }
}

TEST(CRegEx, InvalidPatternsMatchNothing) {
    for (const char* bad : {"x()", "[]", "(a", "a]", "(a]", "[a)", "a)(", "((a)"}) {
        CRegEx pattern;
        EXPECT_FALSE(pattern.SetPattern(bad)) << bad;
        EXPECT_FALSE(pattern.IsValid());
        EXPECT_FALSE(Find(pattern, "a()[]xyz").has_value()) << bad;
        EXPECT_EQ(pattern.GetPattern().Str(), bad);
    }
    // A failed SetPattern discards the previous pattern.
    CRegEx pattern("ads");
    EXPECT_TRUE(Find(pattern, "ads"));
    EXPECT_FALSE(pattern.SetPattern("[]"));
    EXPECT_FALSE(Find(pattern, "ads"));
    // Escapes take part in the nesting check.
    EXPECT_TRUE(CRegEx::IsWellFormed("a\\(b"));
    EXPECT_FALSE(CRegEx::IsWellFormed("[a\\]"));
    // The empty pattern is valid and matches nothing.
    EXPECT_TRUE(pattern.SetPattern(""));
    EXPECT_FALSE(Find(pattern, "abc"));
}

TEST(CRegEx, PatternTextCopiesAndLongChains) {
    CRegEx pattern("/Banner/");
    EXPECT_EQ(pattern.GetPattern().Str(), "/banner/");
    // Characters outside the alphabet survive in the pattern text.
    pattern.SetPattern("a{B}\"c");
    EXPECT_EQ(pattern.GetPattern().Str(), "a{b}\"c");

    // A copy owns its compiled pattern.
    CRegEx original("a*(b|c)d?e");
    CRegEx copy(original);
    original.SetPattern("zzz");
    EXPECT_TRUE(Find(copy, "xaYcdQe"));
    EXPECT_FALSE(Find(copy, "zzz"));

    // A chain too deep to match on a connection thread's stack is refused.
    std::string deep;
    for (int i = 0; i < 200; ++i)
        deep += "a*";
    EXPECT_TRUE(CRegEx().SetPattern(deep.c_str()));
    deep += deep;
    EXPECT_FALSE(CRegEx().SetPattern(deep.c_str()));
}

// The remembered search must give exactly the results of the plain one; random
// patterns over a small alphabet meet random texts where both finish quickly.
TEST(CRegEx, RememberedSearchGivesPlainResults) {
    std::mt19937 random(12345);
    const char* pieces[] = {"a",       "b",      "c",    "/",     "*",      "?",
                            "??",      "[ab]",   "[^a]", "[a-b]", "[^a-b]", "(a|b)",
                            "(ab|c*)", "(?b|c)", "\\*",  "\"",    "ab"};
    const char textBytes[] = "abc/\"*";
    int compared = 0;
    int found = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string pattern;
        if (random() % 5 == 0)
            pattern += '~';
        const int count = 1 + static_cast<int>(random() % 7);
        for (int i = 0; i < count; ++i)
            pattern += pieces[random() % std::size(pieces)];
        if (random() % 5 == 0)
            pattern += '$';
        CRegEx compiled;
        if (!compiled.SetPattern(pattern.c_str()))
            continue;
        for (int t = 0; t < 6; ++t) {
            std::string text;
            const int length = static_cast<int>(random() % 24);
            for (int i = 0; i < length; ++i)
                text += textBytes[random() % (sizeof(textBytes) - 1)];
            const auto plain = Find(compiled, text, CRegEx::Strategy::Plain);
            const auto remembered = Find(compiled, text, CRegEx::Strategy::Remembered);
            const auto automatic = Find(compiled, text, CRegEx::Strategy::Auto);
            ASSERT_EQ(plain, remembered) << "pattern " << pattern << " text " << text;
            ASSERT_EQ(plain, automatic) << "pattern " << pattern << " text " << text;
            ++compared;
            found += plain.has_value();
        }
    }
    EXPECT_GT(compared, 10000);
    EXPECT_GT(found, compared / 10);
}

// A pattern built to backtrack finishes, with the result the language gives it.
TEST(CRegEx, HostilePatternsStayBounded) {
    std::string text(4000, 'a');
    CRegEx pattern("*a*a*a*a*a*a*a*a*a*a*a*a*b");
    EXPECT_FALSE(Find(pattern, text).has_value());
    text += 'b';
    EXPECT_TRUE(Find(pattern, text).has_value());
    CRegEx groups("(a|aa)*(a|aa)*(a|aa)*(a|aa)*c");
    EXPECT_FALSE(Find(groups, std::string(3000, 'a')).has_value());
}
