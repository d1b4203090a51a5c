#include "settings/BuiltInLists.h"
#include "settings/CSetCookieList.h"
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

// The list skips patterns whose literal symbol pairs a URL lacks; that must
// never change a verdict.
TEST(BuiltInLists, PairFilterKeepsEveryVerdict) {
    CSetURLList list(builtin::URLDomainList());
    for (const char* line : {"a(b|c)d*ef?gh", "x[0-9]yz*", "*", "?", "~http://q", "//zz$"})
        list.AddLine(line);
    std::vector<CRegEx> patterns;
    std::vector<CSetURLList::EntryInfo> infos;
    for (std::size_t i = 0; i < list.Count(); ++i) {
        CSetURLList::EntryInfo info;
        ASSERT_TRUE(list.GetEntry(i, info));
        patterns.emplace_back(info.pattern.c_str());
        infos.push_back(info);
    }
    const std::vector<std::string> urls = {"http://ad.doubleclick.net/x",
                                           "http://www.example.org/images/ads/top.gif",
                                           "http://x/banner_12.gif",
                                           "http://x/a/b/c/468x60.gif",
                                           "http://x/y?adid=5",
                                           "http://s.com/p?zoneid=3&x",
                                           "http://x/abdQefgh",
                                           "http://q/x5yzz",
                                           "q",
                                           "",
                                           "http://www.example.org/news/story.html",
                                           "http://cdn.adnxs.com/1x1.gif?x=1"};
    int hits = 0;
    for (const std::string& url : urls) {
        CIString encoded(url);
        CRegEx::Encode(encoded);
        int expected = 0;
        std::size_t length = 0;
        for (std::size_t i = 0; i < patterns.size() && expected == 0; ++i)
            if (infos[i].active && patterns[i].Match(encoded.c_str(), encoded.size(), length))
                expected = infos[i].dontFilter ? 2 : 1;
        EXPECT_EQ(list.Match(url), expected) << url;
        hits += expected != 0;
    }
    EXPECT_GT(hits, 6);
}
