#include "http/HeaderFilter.h"

#include <gtest/gtest.h>

#include <map>

TEST(HeaderFilterRules, ReferrerModes) {
    using M = ReferrerMode;
    // Same directory of the same host: only "always" removes it.
    EXPECT_TRUE(ReferrerMustGo(M::All, "a.com", "/x/p.html", "a.com", "/x/q.html"));
    EXPECT_FALSE(ReferrerMustGo(M::Path, "A.com", "/X/p.html", "a.com", "/x/q.html?y=1"));
    EXPECT_FALSE(ReferrerMustGo(M::Domain, "a.com", "/x/p.html", "a.com", "/x/q.html"));
    // Another directory, whatever the lengths of the two directories.
    EXPECT_TRUE(ReferrerMustGo(M::Path, "a.com", "/x/p.html", "a.com", "/x/y/q.html"));
    EXPECT_TRUE(ReferrerMustGo(M::Path, "a.com", "/x/y/p.html", "a.com", "/x/q.html"));
    EXPECT_TRUE(ReferrerMustGo(M::Path, "a.com", "/ab/p", "a.com", "/ac/p"));
    EXPECT_FALSE(ReferrerMustGo(M::Domain, "a.com", "/x/p.html", "a.com", "/y/q.html"));
    // A '/' in the query names no directory.
    EXPECT_FALSE(ReferrerMustGo(M::Path, "a.com", "/x/p?u=/z/w", "a.com", "/x/q"));
    // Another host goes under both remaining choices.
    EXPECT_TRUE(ReferrerMustGo(M::Path, "b.com", "/x/p", "a.com", "/x/p"));
    EXPECT_TRUE(ReferrerMustGo(M::Domain, "b.com", "/x/p", "a.com", "/x/p"));
}

TEST(HeaderFilterRules, AcceptEncodingKeepsOnlyDecodableCodings) {
    EXPECT_EQ(ReduceAcceptEncoding("gzip, deflate, br").Str(), "gzip");
    EXPECT_EQ(ReduceAcceptEncoding("br;q=1.0, GZIP;q=0.8, identity;q=0.5, *;q=0.1").Str(),
              "GZIP;q=0.8, identity;q=0.5");
    EXPECT_EQ(ReduceAcceptEncoding("gzip").Str(), "gzip");
    // Nothing usable left: the body may always come unencoded.
    EXPECT_EQ(ReduceAcceptEncoding("br, zstd").Str(), "identity");
    EXPECT_EQ(ReduceAcceptEncoding("br, gzip;q=0").Str(), "identity");
    EXPECT_EQ(ReduceAcceptEncoding("x-gzip").Str(), "identity");
    EXPECT_EQ(ReduceAcceptEncoding("").Str(), "identity");

    EXPECT_TRUE(IsWashableContentEncoding(""));
    EXPECT_TRUE(IsWashableContentEncoding("gzip"));
    EXPECT_TRUE(IsWashableContentEncoding("GZip"));
    EXPECT_TRUE(IsWashableContentEncoding("identity "));
    EXPECT_FALSE(IsWashableContentEncoding("br"));
    EXPECT_FALSE(IsWashableContentEncoding("deflate"));
    EXPECT_FALSE(IsWashableContentEncoding("x-gzip"));
    EXPECT_FALSE(IsWashableContentEncoding("gzip, br"));
}

TEST(HeaderFilterRules, MediaVerdicts) {
    using namespace mediabits;
    const std::map<CIString, int> types{{"application/x-evil", 1}, {"image", 1}, {"image/png", 2}};
    const std::map<CIString, int> exts{{"exe", 1}, {"NULL", 1}, {"txt", 2}};
    auto byType = [&](const CIString& t) {
        if (const auto it = types.find(t); it != types.end())
            return it->second;
        const auto slash = t.find('/');
        if (slash == CIString::npos)
            return 0;
        const auto it = types.find(t.substr(0, slash));
        return it == types.end() ? 0 : it->second;
    };
    auto byExt = [&](const CIString& e) {
        const auto it = exts.find(e);
        return it == exts.end() ? 0 : it->second;
    };
    auto decide = [&](const char* type, const char* ext, std::uint32_t flags) {
        return DecideMediaType(type, ext, kEnabled | kBlockTypesFromList | flags, byType, byExt);
    };

    EXPECT_TRUE(decide("application/x-evil", "", 0).blocked);
    EXPECT_TRUE(decide("image/gif", "gif", 0).blocked); // by the major type
    EXPECT_FALSE(decide("image/png", "png", 0).blocked);
    EXPECT_EQ(decide("image/png", "png", 0).listVerdict, 2);
    EXPECT_FALSE(decide("text/html", "exe", 0).blocked); // a type decides, not the extension
    EXPECT_TRUE(decide("text/html", "", kBlockUnknown).blocked);
    EXPECT_FALSE(decide("image/png", "", kBlockUnknown).blocked);

    // No media type, bit 16 clear: blocked outright.
    EXPECT_TRUE(decide("", "txt", 0).blocked);
    EXPECT_EQ(decide("", "txt", 0).listVerdict, 1);
    // No media type, bit 16 set: the extension decides, "NULL" standing for none.
    EXPECT_FALSE(decide("", "txt", kAllowNoMediaType).blocked);
    EXPECT_TRUE(decide("", "exe", kAllowNoMediaType).blocked);
    EXPECT_TRUE(decide("", "", kAllowNoMediaType).blocked);
    EXPECT_FALSE(decide("", "doc", kAllowNoMediaType).blocked);
    EXPECT_TRUE(decide("", "doc", kAllowNoMediaType | kBlockUnknown).blocked);
}
