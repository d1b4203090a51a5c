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

bool Hits(const char* pattern, const std::string& text) {
    return Find(pattern, text).has_value();
}

} // namespace

TEST(CRegEx, AlphabetEncodesAndDecodes) {
    // The alphabet's order decides what a class range takes (see Classes).
    for (const auto& [c, code] : std::initializer_list<std::pair<char, int>>{{';', 1},
                                                                             {'/', 2},
                                                                             {'\\', 3},
                                                                             {'0', 27},
                                                                             {'9', 36},
                                                                             {'|', 37},
                                                                             {'a', 38},
                                                                             {'A', 38},
                                                                             {'z', 63}})
        EXPECT_EQ(CRegEx::Code(c), code) << c;
    for (unsigned char c : std::string("\"<>`{}\x7f\x01\x80\xff"))
        EXPECT_EQ(CRegEx::Code(c), 0) << int(c);

    CIString text("Http://Ex.com/a b?\"x\"");
    CRegEx::Encode(text);
    for (char c : text)
        EXPECT_LT(static_cast<unsigned char>(c), 64);
    CRegEx::DecodeToText(text);
    EXPECT_EQ(text.Str(), std::string("http://ex.com/a b?\0x\0", 21));
}

TEST(CRegEx, LiteralSegmentsAreCaseFoldedSubstringSearches) {
    EXPECT_EQ(Find("ads", "/ADS/banner.gif"), (Hit{1, 3}));
    EXPECT_FALSE(Hits("ads", "/ad/s"));
    EXPECT_EQ(Find("gif", "a.gif.gif"), (Hit{2, 3}));
    // A byte outside the alphabet matches no literal.
    EXPECT_FALSE(Hits("a\"b", "a\"c"));
    EXPECT_FALSE(Hits("ab", "a\"b"));
    EXPECT_FALSE(Hits("x", ""));
}

TEST(CRegEx, Anchors) {
    EXPECT_TRUE(Hits("~ads", "ads/x"));
    EXPECT_FALSE(Hits("~ads", "/ads"));
    EXPECT_TRUE(Hits("gif$", "/a.gif"));
    EXPECT_FALSE(Hits("gif$", "/a.gif?x"));
    EXPECT_EQ(Find("~abc$", "abc"), (Hit{0, 3}));
    EXPECT_FALSE(Hits("~abc$", "abcabc"));
    // An escaped dollar is a literal.
    EXPECT_TRUE(Hits("a\\$", "xa$y"));
    EXPECT_FALSE(Hits("a\\$", "xa"));
}

TEST(CRegEx, StarsAndQuestionMarks) {
    EXPECT_TRUE(Hits("/ad?/", "/ad/"));
    EXPECT_TRUE(Hits("/ad?/", "/ad1/"));
    EXPECT_FALSE(Hits("/ad?/", "/ad12/"));
    EXPECT_TRUE(Hits("/ad?\?/", "/ad12/"));

    EXPECT_FALSE(Hits("abc*", "abc"));
    EXPECT_EQ(Find("abc*", "abcd"), (Hit{0, 4}));
    EXPECT_FALSE(Hits("abc?", "abc"));
    EXPECT_TRUE(Hits("abc?", "abcd"));

    // A leading star stretches the match to the start of the text.
    EXPECT_EQ(Find("*ads", "http://x/ads/1"), (Hit{0, 12}));
    EXPECT_EQ(Find("x*y", "axbbyc"), (Hit{1, 4}));
    EXPECT_FALSE(Hits("x*y", "yx"));
    EXPECT_TRUE(Hits("a*b*c", "aXbYc"));
    EXPECT_FALSE(Hits("a*b*c", "aXcYb"));
    // Leading question marks take at most that many bytes before the segment.
    EXPECT_EQ(Find("?\?ad", "xyad"), (Hit{0, 4}));
    EXPECT_EQ(Find("?\?ad", "ad"), (Hit{0, 2}));
    EXPECT_FALSE(Hits("?\?ad", "xyzad"));
    // Only wildcards: a lone star takes the whole text, question marks at most
    // as many bytes as there are.
    EXPECT_EQ(Find("*", "abc"), (Hit{0, 3}));
    EXPECT_EQ(Find("ab??", "xab1"), (Hit{1, 3}));
    EXPECT_EQ(Find("???$", "ab"), (Hit{0, 2}));
    EXPECT_FALSE(Hits("???$", "abcd"));
}

TEST(CRegEx, Classes) {
    EXPECT_TRUE(Hits("a[0-9]b", "a5b"));
    EXPECT_FALSE(Hits("a[0-9]b", "axb"));
    EXPECT_TRUE(Hits("a[^0-9]b", "axb"));
    EXPECT_FALSE(Hits("a[^0-9]b", "a5b"));
    EXPECT_TRUE(Hits("[a-c]", "B"));
    EXPECT_FALSE(Hits("[a-c]", "d"));
    EXPECT_TRUE(Hits("x[abc]y", "xby"));
    EXPECT_FALSE(Hits("x[^abc]y", "xby"));
    EXPECT_TRUE(Hits("x[^abc]y", "xdy"));
    // An escaped member, and an escaped dash that makes no range.
    EXPECT_TRUE(Hits("x[\\]]y", "x]y"));
    EXPECT_TRUE(Hits("x[a\\-c]y", "x-y"));
    EXPECT_FALSE(Hits("x[a\\-c]y", "xby"));
    // Ranges follow the alphabet's order: '/' (2) to '9' (36) takes '.', not 'a'.
    EXPECT_TRUE(Hits("[/-9]", "."));
    EXPECT_FALSE(Hits("[/-9]", "a"));
}

TEST(CRegEx, Groups) {
    EXPECT_TRUE(Hits("(ad|banner)/", "/banner/"));
    EXPECT_TRUE(Hits("(ad|banner)/", "/ad/"));
    EXPECT_FALSE(Hits("(ad|banner)/", "/ban/"));
    EXPECT_TRUE(Hits("x(a|b)", "xb"));
    EXPECT_TRUE(Hits("*(gif|jpg)$", "/a.jpg"));
    EXPECT_FALSE(Hits("(ad|banner)/", "/ads/"));
    // The second alternative is tried when the rest fails after the first.
    EXPECT_TRUE(Hits("(a|b)c", "xbc"));
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

    CRegEx original("a*(b|c)d?e");
    CRegEx copy(original);
    original.SetPattern("zzz");
    EXPECT_TRUE(Find(copy, "xaYcdQe"));
    EXPECT_FALSE(Find(copy, "zzz"));
    CRegEx assigned;
    assigned = copy;
    EXPECT_EQ(Find(assigned, "xaYcdQe"), Find(copy, "xaYcdQe"));

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
