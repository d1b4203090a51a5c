#include "settings/BuiltInLists.h"
#include "settings/CSetCookieList.h"
#include "settings/CSetDimList.h"
#include "settings/CSetURLList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> ReadableSource() {
    const auto path =
        std::filesystem::path(__FILE__).parent_path() / "../../src/settings" / "BuiltInAdURLs.txt";
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    std::vector<std::string> entries;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] != '#')
            entries.push_back(line);
    }
    return entries;
}

} // namespace

TEST(BuiltInLists, EncodedTableDecodesToTheReadableSource) {
    const std::vector<std::string> source = ReadableSource();
    ASSERT_GT(source.size(), 300u);
    ASSERT_EQ(builtin::kAdURLTableSize, source.size());
    std::string text;
    std::size_t i = 0;
    for (const char* const* entry = builtin::kAdURLTable; *entry; ++entry, ++i) {
        ASSERT_LT(i, source.size());
        // Stored scrambled: the readable text does not appear as such.
        EXPECT_EQ(std::string(*entry).find(source[i]), std::string::npos) << source[i];
        ASSERT_TRUE(builtin::Unscramble(*entry, text)) << i;
        EXPECT_EQ(text, source[i]);
        // Every built-in pattern compiles.
        std::string_view pattern(text);
        if (pattern.size() > 3 && pattern[2] == '\t')
            pattern.remove_prefix(3);
        EXPECT_TRUE(CRegEx().SetPattern(std::string(pattern).c_str())) << text;
    }
    EXPECT_EQ(i, source.size());
}

TEST(BuiltInLists, ScrambleRoundTripsAndRefusesMalformedEntries) {
    std::string text;
    for (const std::string& sample :
         std::vector<std::string>{"", "a", "doubleclick.net", "! \texample/beis?iel",
                                  std::string(99, 'x'), "\x01\xff\x7f tab\t"}) {
        const std::string coded = builtin::Scramble(sample);
        ASSERT_EQ(coded.size(), sample.size() + 2);
        EXPECT_EQ(coded.find('\0'), std::string::npos);
        ASSERT_TRUE(builtin::Unscramble(coded, text));
        EXPECT_EQ(text, sample);
    }
    EXPECT_TRUE(builtin::Scramble(std::string(100, 'x')).empty());
    EXPECT_FALSE(builtin::Unscramble("", text));
    EXPECT_FALSE(builtin::Unscramble("5", text));
    EXPECT_FALSE(builtin::Unscramble("x1a", text));
    EXPECT_FALSE(builtin::Unscramble("05abc", text)); // shorter than told
}

TEST(BuiltInLists, ProcessWideListsAreFilledOnce) {
    std::vector<const CSetURLList*> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = &builtin::URLDomainList(); });
    for (auto& thread : threads)
        thread.join();
    for (const auto* list : seen)
        EXPECT_EQ(list, seen[0]);

    const CSetURLList& urls = builtin::URLDomainList();
    EXPECT_EQ(urls.Count(), builtin::kAdURLTableSize);
    EXPECT_EQ(urls.Match("http://ad.doubleclick.net/x"), 1);
    EXPECT_EQ(urls.Match("http://www.example.org/images/ads/top.gif"), 1);
    EXPECT_EQ(urls.Match("http://www.example.org/ads/blank.gif"), 2);
    EXPECT_EQ(urls.Match("http://www.example.org/index.html"), 0);
    EXPECT_EQ(urls.Match("http://www.example.org/news/2024/story.html"), 0);

    // The cookie list holds only the active plain domains, all judged bad.
    const CSetCookieList& cookies = builtin::CookieDomainList();
    EXPECT_GT(cookies.Count(), 200u);
    EXPECT_LT(cookies.Count(), urls.Count());
    EXPECT_EQ(cookies.Lookup("ad.doubleclick.net"), kCookieBad);
    EXPECT_EQ(cookies.Lookup("www.example.org"), 0);
    for (std::size_t i = 0; i < cookies.Count(); ++i) {
        CSetCookieList::EntryInfo info;
        ASSERT_TRUE(cookies.GetEntry(i, info));
        EXPECT_EQ(info.pattern.find_first_of("*/\\"), CIString::npos) << info.pattern;
        EXPECT_EQ(info.manner, kCookieBad);
    }
}

TEST(BuiltInLists, PlainTables) {
    CSetDimList dims;
    dims.LoadBuiltIn(-1, builtin::kDimensionTable, false);
    EXPECT_EQ(dims.Count(), 60u);
    EXPECT_TRUE(dims.Contains(60, 52));
    EXPECT_TRUE(dims.Contains(468, 60));
    EXPECT_TRUE(dims.Contains(554, 90));

    CSetURLList example;
    example.LoadBuiltIn(-1, builtin::kURLExampleTable, false);
    CSet::Lines lines;
    example.GetLines(-1, lines);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "//example/beis?iel");
    EXPECT_EQ(example.Match("http://x/example/beispiel"), 0);

    CSetCookieList cookies;
    cookies.LoadBuiltIn(-1, builtin::kCookieExampleTable, false);
    EXPECT_EQ(cookies.Lookup("www.example.com"), kCookieBad);
}
