#include "washers/AdVerdicts.h"

#include "http/CConnInfo.h"
#include "settings/CSettings.h"

#include <gtest/gtest.h>

namespace {

CConnInfo Page(const char* url) {
    CConnInfo page;
    page.ParseURL(CIString(url), false);
    return page;
}

struct ListedCase {
    const char* url;
    bool notWithin;
    bool notWithinPath;
    bool listed;
    int verdict;
};

} // namespace

TEST(AdVerdicts, ListedURLWithItsExemptions) {
    const ListedCase cases[] = {
        {"http://www.example.org/index.html", false, false, false, washers::kNotListed},
        {"http://ad.example.org/b.gif", false, false, true, washers::kListed},
        // The user's don't-filter entry overrides a built-in hit.
        {"http://ad.friend.org/b.gif", false, false, false, washers::kDontFilter},
        // The user's own entries hold on the page's server too.
        {"http://news.example.org/mine/x.gif", true, false, true, washers::kListed},
        // A built-in hit on the page's own server, exempted host-wide or only
        // within the page's directory.
        {"http://ad.example.org/b.gif", true, false, false, washers::kDontFilter},
        {"http://ad.example.org/b.gif", true, true, true, washers::kListed},
        {"http://ad.example.org/news/b.gif", true, true, false, washers::kDontFilter},
        {"http://ad.example.org/news/deep/b.gif", true, true, false, washers::kDontFilter},
    };
    CSettings settings("", nullptr, true);
    ASSERT_TRUE(settings.URLList().AddLine("!~http://ad.friend.org/*"));
    ASSERT_TRUE(settings.URLList().AddLine("~http://news.example.org/mine/*"));
    const CConnInfo page = Page("http://AD.example.org/news/page.html");
    const CConnInfo mine = Page("http://news.example.org/mine/page.html");
    for (const auto& c : cases) {
        auto& options = settings.Flags(CSettings::Word::Options);
        options.SetBit(CSettings::kOptionsNotWithin.bit, c.notWithin);
        options.SetBit(CSettings::kOptionsNotWithinPath.bit, c.notWithinPath);
        const CConnInfo& on =
            std::string_view(c.url).find("/mine/") != std::string_view::npos ? mine : page;
        int verdict = -1;
        EXPECT_EQ(washers::IsListedURL(settings, c.url, &on, &verdict), c.listed) << c.url;
        EXPECT_EQ(verdict, c.verdict) << c.url;
    }
}

TEST(AdVerdicts, BannerSizeFromAnotherServerOrListed) {
    CSettings settings("", nullptr, true);
    ASSERT_TRUE(settings.URLList().AddLine("~*/adserve/*"));
    const CConnInfo page = Page("http://www.example.org/");
    ASSERT_TRUE(settings.DimensionList().Contains(468, 60));
    EXPECT_FALSE(washers::IsBannerSize(settings, page, 468, 61, "http://other.net/b.gif"));
    EXPECT_TRUE(washers::IsBannerSize(settings, page, 468, 60, "http://other.net/b.gif"));
    EXPECT_TRUE(washers::IsBannerSize(settings, page, 468, 60, ""));
    // Same server: only when URL-listed, or when SameServer says so.
    EXPECT_FALSE(washers::IsBannerSize(settings, page, 468, 60, "http://www.example.org/b.gif"));
    EXPECT_TRUE(
        washers::IsBannerSize(settings, page, 468, 60, "http://www.example.org/adserve/1.gif"));
    settings.Flags(CSettings::Word::DimFilter).SetBit(CSettings::kDimFilterSameServer.bit, true);
    EXPECT_TRUE(washers::IsBannerSize(settings, page, 468, 60, "http://www.example.org/b.gif"));
}
