#include "http/Cookies.h"

#include <gtest/gtest.h>

namespace {

// 2027-06-09 10:18:14 UTC, a Wednesday.
constexpr std::time_t kNow = 1812536294;

} // namespace

TEST(Cookie, ParseTrimsNamesAndValuesAndKeepsFirstOccurrence) {
    CookieAttributes attrs;
    CIString name;
    ParseCookie(" \"sid\" = 'abc\" ; Path=/; path=/other; ;=x; Secure;domain=.ex.com\r\n", attrs,
                name);
    EXPECT_EQ(name, "sid");
    ASSERT_EQ(attrs.size(), 4u);
    EXPECT_EQ(attrs["SID"], "abc");
    EXPECT_EQ(attrs["path"], "/");
    EXPECT_EQ(attrs["secure"], "");
    EXPECT_EQ(attrs["Domain"], ".ex.com");

    // A value that holds an '=' of its own keeps everything after the first one.
    ParseCookie("q=a=b==", attrs, name);
    EXPECT_EQ(attrs["q"], "a=b==");

    ParseCookie(" ; =v; ", attrs, name);
    EXPECT_TRUE(attrs.empty());
    EXPECT_TRUE(name.empty());
}

TEST(Cookie, BuildWritesOwnPairFirstThenAttributesInNameOrder) {
    CookieAttributes attrs;
    CIString name, out;
    ParseCookie("id=\"42\"; secure; Path=/; expires=Thu, 01-Jan-2037 00:00:00 GMT; Domain=ex.com",
                attrs, name);
    BuildCookie(attrs, name, out);
    EXPECT_EQ(out, "id=42; Domain=ex.com; expires=Thu, 01-Jan-2037 00:00:00 GMT; Path=/; secure");

    // The own name sorts after other attributes, but is still written first;
    // a flag-like own name gets no '='.
    ParseCookie("zeta; abc=1", attrs, name);
    BuildCookie(attrs, name, out);
    EXPECT_EQ(out.Str(), "zeta; abc=1");

    BuildCookie({}, "", out);
    EXPECT_TRUE(out.empty());
}

TEST(Cookie, FormatCookieDate) {
    CIString text;
    FormatCookieDate(kNow, text);
    EXPECT_EQ(text.Str(), "Wednesday, 09-Jun-2027 10:18:14 GMT");
    FormatCookieDate(0, text);
    EXPECT_EQ(text.Str(), "Thursday, 01-Jan-1970 00:00:00 GMT");
    FormatCookieDate(951782400 + 86399, text); // leap day
    EXPECT_EQ(text.Str(), "Tuesday, 29-Feb-2000 23:59:59 GMT");
}

TEST(Cookie, ParseCookieDateBothForms) {
    EXPECT_EQ(ParseCookieDate("Wednesday, 09-Jun-2027 10:18:14 GMT"), kNow);
    EXPECT_EQ(ParseCookieDate("Wed, 09-jun-27 10:18:14 GMT"), kNow);
    EXPECT_EQ(ParseCookieDate("09-JUN-2027 10:18:14"), kNow); // no weekday, no comma
    // RFC 1123 and a spelt-out month with blanks between day, month and year.
    EXPECT_EQ(ParseCookieDate("Wed, 09 Jun 2027 10:18:14 GMT"), kNow);
    EXPECT_EQ(ParseCookieDate("Wed,09 June 2027 10:18:14 GMT"), kNow);

    // Two-digit years: below 31 this century, from 31 the last one.
    EXPECT_EQ(ParseCookieDate("x, 01-Jan-30 00:00:00 GMT"), 1893456000);
    EXPECT_EQ(ParseCookieDate("x, 01-Jan-31 00:00:00 GMT"), -1230768000);
    EXPECT_EQ(ParseCookieDate("x, 31-Dec-99 23:59:59 GMT"), 946684799);
    EXPECT_EQ(ParseCookieDate("x, 01-Jan-1970 00:00:00 GMT"), 0);

    // Missing fields count as 0 and an unknown month as January.
    EXPECT_EQ(ParseCookieDate("x, 02-Foo-2000"), 946771200);
    EXPECT_EQ(ParseCookieDate("soon"), 946598400); // day 0 of January 2000

    // What the proxy writes, it reads back.
    CIString text;
    for (std::time_t t : {std::time_t{0}, kNow, std::time_t{4102444799}}) {
        FormatCookieDate(t, text);
        EXPECT_EQ(ParseCookieDate(text), t) << text;
    }
}

TEST(Cookie, LimitLeavesShortAndSessionCookiesAlone) {
    const long day = 24 * 3600;
    CookieAttributes attrs;
    CIString name, date;

    // Already short: untouched, max-age included.
    FormatCookieDate(kNow + 2 * 3600, date);
    ParseCookie("a=1; max-age=7200; expires=" + date.Str(), attrs, name);
    const CookieAttributes before = attrs;
    EXPECT_FALSE(LimitCookieLifetime(attrs, day, kNow));
    EXPECT_EQ(attrs, before);

    // A session cookie is the shortest there is, in both modes.
    ParseCookie("a=1; path=/", attrs, name);
    EXPECT_FALSE(LimitCookieLifetime(attrs, day, kNow));
    EXPECT_FALSE(LimitCookieLifetime(attrs, -1, kNow));
    EXPECT_EQ(attrs.size(), 2u);

    // Deleting a cookie (past date, or max-age 0) is never turned into setting it.
    ParseCookie("a=; expires=Thu, 01-Jan-1970 00:00:00 GMT", attrs, name);
    EXPECT_FALSE(LimitCookieLifetime(attrs, day, kNow));
    EXPECT_FALSE(LimitCookieLifetime(attrs, -1, kNow));
    ParseCookie("a=; max-age=0", attrs, name);
    EXPECT_FALSE(LimitCookieLifetime(attrs, -1, kNow));

    // A max-age that is not a number is ignored, as browsers do.
    ParseCookie("a=1; max-age=soon", attrs, name);
    EXPECT_FALSE(LimitCookieLifetime(attrs, day, kNow));
}

TEST(Cookie, LimitCutsLongLivedCookies) {
    const long day = 24 * 3600;
    CookieAttributes attrs;
    CIString name, expected;
    FormatCookieDate(kNow + day, expected);

    // max-age beyond the limit and no expires: gets an expires, loses max-age.
    ParseCookie("a=1; Max-Age=31536000", attrs, name);
    EXPECT_TRUE(LimitCookieLifetime(attrs, day, kNow));
    EXPECT_EQ(attrs.count("max-age"), 0u);
    EXPECT_EQ(attrs["expires"], expected);

    // max-age decides over a short expires.
    ParseCookie("a=1; max-age=999999; expires=Wed, 09-Jun-2027 11:00:00 GMT", attrs, name);
    EXPECT_TRUE(LimitCookieLifetime(attrs, day, kNow));
    EXPECT_EQ(attrs["expires"], expected);

    // A far expires in either date form.
    for (const char* far : {"Fri, 01-Jan-2038 00:00:00 GMT", "Fri, 01 Jan 2038 00:00:00 GMT"}) {
        ParseCookie(std::string("a=1; expires=") + far, attrs, name);
        EXPECT_TRUE(LimitCookieLifetime(attrs, day, kNow)) << far;
        EXPECT_EQ(attrs["expires"], expected);
    }

    // A date that cannot be read is cut: the browser may read it as a long one.
    ParseCookie("a=1; expires=someday", attrs, name);
    EXPECT_TRUE(LimitCookieLifetime(attrs, day, kNow));
    EXPECT_EQ(attrs["expires"], expected);

    // Session mode: both expiry attributes go.
    ParseCookie("a=1; max-age=60; expires=Fri, 01-Jan-2038 00:00:00 GMT; path=/", attrs, name);
    EXPECT_TRUE(LimitCookieLifetime(attrs, -1, kNow));
    EXPECT_EQ(attrs.count("max-age") + attrs.count("expires"), 0u);
    EXPECT_EQ(attrs.size(), 2u);
}
