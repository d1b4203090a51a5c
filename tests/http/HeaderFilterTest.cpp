#include "http/HeaderFilter.h"

#include "os/CBuffer.h"
#include "settings/CSettings.h"
#include "stats/CSecurityLog.h"
#include "stats/CStatistic.h"
#include "support/HeadLines.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

TEST(HeaderFilterRules, AcceptEncodingKeepsOnlyDecodableCodings) {
    const std::pair<const char*, const char*> cases[] = {
        {"gzip, deflate, br", "gzip"},
        {"br;q=1.0, GZIP;q=0.8, identity;q=0.5, *;q=0.1", "GZIP;q=0.8, identity;q=0.5"},
        // Nothing usable left: the body may always come unencoded.
        {"br, zstd", "identity"},
        {"br, gzip;q=0", "identity"},
        {"x-gzip", "identity"},
        {"", "identity"},
    };
    for (const auto& [offered, kept] : cases)
        EXPECT_EQ(ReduceAcceptEncoding(offered).Str(), kept) << offered;

    for (const char* washable : {"", "GZip", "identity "})
        EXPECT_TRUE(IsWashableContentEncoding(washable)) << washable;
    for (const char* other : {"br", "deflate", "x-gzip", "gzip, br"})
        EXPECT_FALSE(IsWashableContentEncoding(other)) << other;
}

// ---- the filters on messages ----

namespace {

CConnInfo Request(std::vector<std::string> fields,
                  const std::string& url = "http://www.news.com/dir/page.html") {
    fields.insert(fields.begin(), "GET " + url + " HTTP/1.1");
    return ParseLines(std::move(fields), CConnInfo::kParseRequest | CConnInfo::kParseOnly);
}

CConnInfo Response(std::vector<std::string> fields, int status = 200) {
    fields.insert(fields.begin(), "HTTP/1.1 " + std::to_string(status) + " X");
    return ParseLines(std::move(fields), CConnInfo::kParseResponse | CConnInfo::kParseOnly);
}

std::vector<std::string> Values(const CConnInfo& message, const char* name) {
    std::vector<std::string> values;
    const auto [first, last] = message.Headers().equal_range(CIString(name));
    for (auto it = first; it != last; ++it)
        values.push_back(it->second.Str());
    return values;
}

// A group's settings with its statistics, as the settings cache hands them out.
struct Group {
    Group() : settings("", nullptr, true) { settings.SetStatistic(&statistic); }
    void Set(CSettings::Flag flag, bool on) { settings.Flags(flag.word).SetBit(flag.bit, on); }
    std::uint32_t Count(CStatistic::Event event) { return statistic.Counter(event); }

    CStatistic statistic;
    CSettings settings;
};

// 2027-06-09 10:18:14 UTC.
constexpr std::time_t kNow = 1812536294;

} // namespace

TEST(HeaderFilter, RequestCookiesByHostAndSwitches) {
    enum : unsigned { kBadDefault = 1, kExempt = 2, kPrivacyOff = 4, kFilterOff = 8 };
    const struct {
        const char* url;
        unsigned setUp;
        std::size_t kept; // Cookie fields; a bad host loses all, whatever they are called
    } cases[] = {
        {"http://www.ads.com/", 0, 0},
        {"http://www.news.com/", 0, 2}, // neutral, the default manner
        {"http://friend.org/", 0, 2},
        {"http://www.news.com/", kBadDefault, 0}, // the default manner decides for unlisted hosts
        {"http://friend.org/", kBadDefault, 2},
        {"http://www.ads.com/", kExempt, 2},
        {"http://www.ads.com/", kPrivacyOff, 2},
        {"http://www.ads.com/", kFilterOff, 2},
    };
    for (const auto& c : cases) {
        Group g;
        g.settings.CookieList().SetLines(-1, {"ads.com,0", "friend.org,2"}, false);
        if (c.setUp & kBadDefault)
            g.settings.CookieList().SetLines(-1, {"*,0"}, true);
        g.Set(CSettings::kCookieFilterEnabled, !(c.setUp & kFilterOff));
        g.Set(CSettings::kPrivacyEnabled, !(c.setUp & kPrivacyOff));
        CConnInfo request = Request({"Cookie: a=1; b=2", "Cookie: c=3"}, c.url);
        if (c.setUp & kExempt)
            request.SetFilterFlags(kWhitePrivacy);
        FilterRequestHeaders(request, g.settings);
        EXPECT_EQ(Values(request, "Cookie").size(), c.kept) << c.url << " " << c.setUp;
        if (c.setUp == 0) {
            EXPECT_EQ(g.Count(c.kept ? CStatistic::SentCookies : CStatistic::FilteredCookies), 2u)
                << c.url;
        }
    }
}

TEST(HeaderFilter, ResponseCookiesByDomainAndLifetime) {
    Group g;
    g.settings.CookieList().SetLines(-1, {"ads.com,0", "friend.org,2"}, false);
    g.Set(CSettings::kCookieFilterEnabled, true);
    g.settings.Int(CSettings::kCookieFilterExpireHours).Set(24);

    const std::string shortLived =
        "s=1; max-age=7200; Path=/; expires=Wed, 09-Jun-2027 12:18:14 GMT";
    CConnInfo response = Response({
        "Set-Cookie: t=1; domain=.ads.com",                      // bad by its domain attribute
        "Set-Cookie: " + shortLived,                             // neutral, short: as it came
        "Set-Cookie: l=\"2\"; Secure; max-age=31536000; path=/", // neutral, long: cut
        "Set-Cookie: g=3; domain=friend.org; max-age=31536000",  // good: untouched
        "Set-Cookie: ",                                          // empty: untouched, uncounted
    });
    FilterCookies(response, g.settings, kCookieResponse, "www.news.com", kNow);
    EXPECT_EQ(Values(response, "Set-Cookie"),
              (std::vector<std::string>{
                  shortLived, "l=2; expires=Thursday, 10-Jun-2027 10:18:14 GMT; path=/; Secure",
                  "g=3; domain=friend.org; max-age=31536000", ""}));
    EXPECT_EQ(g.Count(CStatistic::FilteredCookies), 2u);
    EXPECT_EQ(g.Count(CStatistic::GoodCookies), 2u);

    // The host decides when no domain is named; the switches guard the step.
    CConnInfo fromAds = Response({"Set-Cookie: a=1"});
    FilterResponseCookies(fromAds, g.settings, "ads.com");
    EXPECT_TRUE(Values(fromAds, "Set-Cookie").empty());
    CConnInfo exempt = Response({"Set-Cookie: a=1"});
    exempt.SetFilterFlags(kWhitePrivacy);
    FilterResponseCookies(exempt, g.settings, "ads.com");
    EXPECT_EQ(Values(exempt, "Set-Cookie").size(), 1u);

    // Session mode cuts neutral cookies to the session.
    g.Set(CSettings::kCookieFilterExpireBySession, true);
    CConnInfo session = Response({"Set-Cookie: a=1; max-age=60; Path=/"});
    FilterResponseCookies(session, g.settings, "www.news.com");
    EXPECT_EQ(Values(session, "Set-Cookie"), (std::vector<std::string>{"a=1; Path=/"}));
}

TEST(HeaderFilter, ReferrerRule) {
    enum : unsigned { kPath = 1, kAll = 2, kExempt = 4, kPrivacyOff = 8 };
    const struct {
        const char* referer;
        unsigned setUp; // none: the default choice, where only another host loses it
        bool kept;
    } cases[] = {
        {"http://www.news.com/other/x.html", 0, true},
        {"http://WWW.NEWS.COM:8080/dir/x.html", 0, true},
        {"http://elsewhere.com/dir/x.html", 0, false},
        {"http://www.news.com/dir/x.html", kPath, true},
        {"http://www.news.com/dir/sub/x.html", kPath, false},
        {"http://www.news.com/dir/x.html", kAll, false},
        {"http://a.com/", kAll | kExempt, true},
        {"http://a.com/", kAll | kPrivacyOff, true},
    };
    for (const auto& c : cases) {
        Group g;
        g.Set(CSettings::kPrivacyNoReferrerEnabled, true);
        g.Set(CSettings::kPrivacyNoReferrerDomain, c.setUp == 0);
        g.Set(CSettings::kPrivacyNoReferrerPath, (c.setUp & kPath) != 0);
        g.Set(CSettings::kPrivacyNoReferrer, (c.setUp & kAll) != 0);
        g.Set(CSettings::kPrivacyEnabled, !(c.setUp & kPrivacyOff));
        // Two fields of the same name are judged alike.
        CConnInfo request =
            Request({std::string("Referer: ") + c.referer, std::string("Referer: ") + c.referer},
                    "http://www.news.com/dir/p.html");
        if (c.setUp & kExempt)
            request.SetFilterFlags(kWhitePrivacy);
        FilterRequestHeaders(request, g.settings);
        EXPECT_EQ(Values(request, "Referer").size(), c.kept ? 2u : 0u) << c.referer << c.setUp;
    }
}

TEST(HeaderFilter, UserAgentTag) {
    Group g;
    g.Set(CSettings::kPrivacyEnabled, false); // tagged whatever the privacy rules
    CConnInfo request = Request({"User-Agent: Browser/1.0", "User-Agent: Second"});
    FilterRequestHeaders(request, g.settings);
    FilterRequestHeaders(request, g.settings); // a second connection attempt
    EXPECT_EQ(Values(request, "User-Agent"),
              (std::vector<std::string>{"Browser/1.0 Corvane 3.0 final", "Second"}));
    EXPECT_EQ(request.UserAgent(), "Browser/1.0");
    CConnInfo none = Request({}); // a request without one gets none
    FilterRequestHeaders(none, g.settings);
    EXPECT_FALSE(none.HasHeader("User-Agent"));

    g.Set(CSettings::kProxyEngineDoNotModifyUserAgent, true);
    CConnInfo kept = Request({"User-Agent: Browser/1.0"});
    FilterRequestHeaders(kept, g.settings);
    EXPECT_EQ(Values(kept, "User-Agent"), (std::vector<std::string>{"Browser/1.0"}));
}

TEST(HeaderFilter, CacheBypassRule) {
    Group g;
    const std::vector<std::string> fields{
        "Pragma: no-cache", "Cache-Control: no-store", "Age: 3", "Expires: 0", "ETag: \"x\"",
        "If-None-Match: y", "Content-type: text/html"};
    CConnInfo kept = Response(fields);
    ApplyCacheBypassRule(kept, g.settings);
    EXPECT_EQ(kept.Headers().size(), fields.size());

    g.Set(CSettings::kProxyEnginePreventCacheBypass, true);
    CConnInfo cut = Response(fields);
    ApplyCacheBypassRule(cut, g.settings);
    EXPECT_FALSE(cut.HasHeader("Pragma"));
    EXPECT_EQ(cut.Headers().size(), 2u); // ETag and Content-type
}

TEST(HeaderFilter, MediaTypeCheck) {
    Group g;
    g.settings.MediaTypes().SetLines(
        -1, {"application/x-evil", "video", "!video/ok", "exe;exe", "x;NULL"}, false);
    EXPECT_FALSE(MediaCheckWanted(Response({}), g.settings));
    g.Set(CSettings::kMediaFilterEnabled, true);
    g.Set(CSettings::kMediaFilterBlockTypesFromList, true);
    g.Set(CSettings::kMediaFilterLogging, true);
    EXPECT_TRUE(MediaCheckWanted(Response({}), g.settings));
    EXPECT_FALSE(MediaCheckWanted(Response({}, 404), g.settings));

    auto blocked = [&](const char* type, const char* url) {
        const CConnInfo request = Request({}, url);
        try {
            CheckMediaType(type, g.settings, request);
            return false;
        } catch (const CHTMLErrException& e) {
            EXPECT_EQ(e.Status(), 415);
            return true;
        }
    };
    EXPECT_TRUE(blocked("application/x-evil", "http://a.com/f.bin"));
    EXPECT_TRUE(blocked("video/mp4", "http://a.com/m.mp4")); // by the major type
    EXPECT_FALSE(blocked("video/ok", "http://a.com/m.ok"));
    EXPECT_FALSE(blocked("text/html", "http://a.com/x.exe"));
    EXPECT_EQ(g.Count(CStatistic::BlockedMediatypes), 2u);

    // No media type: blocked while bit 16 is clear, else judged by the extension.
    EXPECT_TRUE(blocked("", "http://a.com/x.html"));
    g.Set(CSettings::kMediaFilterAllowNoMediaType, true);
    EXPECT_FALSE(blocked("", "http://a.com/x.html"));
    EXPECT_TRUE(blocked("", "http://a.com/x.exe"));
    EXPECT_TRUE(blocked("", "http://a.com/noext")); // "NULL" stands for none
    g.Set(CSettings::kMediaFilterBlockUnknown, true);
    EXPECT_TRUE(blocked("", "http://a.com/x.html"));
    EXPECT_TRUE(blocked("text/plain", "http://a.com/x.txt"));

    // The security exemption skips the check.
    CConnInfo exempt = Request({}, "http://a.com/x.exe");
    exempt.SetFilterFlags(kWhiteSecurity);
    EXPECT_NO_THROW(CheckMediaType("application/x-evil", g.settings, exempt));

    const std::string log = CSecurityLog::Instance().Pending();
    EXPECT_NE(log.find("\"GET http://a.com/f.bin HTTP/1.1\" 415 application/x-evil bin filter\n"),
              std::string::npos);
    EXPECT_NE(log.find("\"GET http://a.com/m.ok HTTP/1.1\" 200 video/ok ok pass\n"),
              std::string::npos);
}

TEST(HeaderFilter, AcceptEncodingReducedOnceOnly) {
    CConnInfo request = Request({"Accept-Encoding: gzip, deflate, br"});
    EXPECT_TRUE(LimitAcceptEncoding(request));
    EXPECT_EQ(Values(request, "Accept-Encoding"), (std::vector<std::string>{"gzip"}));
    EXPECT_FALSE(LimitAcceptEncoding(request));
}
