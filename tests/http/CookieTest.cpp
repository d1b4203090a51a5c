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

TEST(Cookie, DatesWrittenAndRead) {
    const std::pair<std::time_t, const char*> written[] = {
        {kNow, "Wednesday, 09-Jun-2027 10:18:14 GMT"},
        {0, "Thursday, 01-Jan-1970 00:00:00 GMT"},
        {951782400 + 86399, "Tuesday, 29-Feb-2000 23:59:59 GMT"}, // leap day
    };
    CIString text;
    for (const auto& [time, date] : written) {
        FormatCookieDate(time, text);
        EXPECT_EQ(text.Str(), date);
        EXPECT_EQ(ParseCookieDate(text), time) << text; // what the proxy writes, it reads back
    }

    const std::pair<const char*, std::time_t> read[] = {
        {"Wed, 09-jun-27 10:18:14 GMT", kNow},
        {"09-JUN-2027 10:18:14", kNow}, // no weekday, no comma
        // RFC 1123 and a spelt-out month with blanks between day, month and year.
        {"Wed, 09 Jun 2027 10:18:14 GMT", kNow},
        {"Wed,09 June 2027 10:18:14 GMT", kNow},
        // Two-digit years: below 31 this century, from 31 the last one.
        {"x, 01-Jan-30 00:00:00 GMT", 1893456000},
        {"x, 01-Jan-31 00:00:00 GMT", -1230768000},
        {"x, 31-Dec-99 23:59:59 GMT", 946684799},
        // Missing fields count as 0 and an unknown month as January.
        {"x, 02-Foo-2000", 946771200},
        {"soon", 946598400}, // day 0 of January 2000
        {"Thu, 31-Dec-2099 23:59:59 GMT", 4102444799},
    };
    for (const auto& [date, time] : read)
        EXPECT_EQ(ParseCookieDate(date), time) << date;
}

TEST(Cookie, LimitCutsOnlyLongLivedCookies) {
    constexpr long kDay = 24 * 3600;
    const std::string cut = "a=1; expires=Thursday, 10-Jun-2027 10:18:14 GMT";
    const struct {
        std::string cookie;
        long limit;        // -1: to the session
        const char* after; // null: left as it came
    } cases[] = {
        {"a=1; max-age=7200; expires=Wed, 09-Jun-2027 12:18:14 GMT", kDay, nullptr},
        // A session cookie is the shortest there is, in both modes.
        {"a=1; path=/", kDay, nullptr},
        {"a=1; path=/", -1, nullptr},
        // Deleting a cookie (past date, or max-age 0) is never turned into setting it.
        {"a=; expires=Thu, 01-Jan-1970 00:00:00 GMT", kDay, nullptr},
        {"a=; expires=Thu, 01-Jan-1970 00:00:00 GMT", -1, nullptr},
        {"a=; max-age=0", -1, nullptr},
        // A max-age that is not a number is ignored, as browsers do.
        {"a=1; max-age=soon", kDay, nullptr},
        {"a=1; Max-Age=31536000", kDay, cut.c_str()},
        {"a=1; max-age=999999; expires=Wed, 09-Jun-2027 11:00:00 GMT", kDay, cut.c_str()},
        {"a=1; expires=Fri, 01-Jan-2038 00:00:00 GMT", kDay, cut.c_str()},
        {"a=1; expires=Fri, 01 Jan 2038 00:00:00 GMT", kDay, cut.c_str()},
        // A date that cannot be read is cut: the browser may read it as a long one.
        {"a=1; expires=someday", kDay, cut.c_str()},
        {"a=1; max-age=60; expires=Fri, 01-Jan-2038 00:00:00 GMT; path=/", -1, "a=1; path=/"},
    };
    for (const auto& c : cases) {
        CookieAttributes attrs;
        CIString name, out;
        ParseCookie(c.cookie, attrs, name);
        const CookieAttributes before = attrs;
        EXPECT_EQ(LimitCookieLifetime(attrs, c.limit, kNow), c.after != nullptr) << c.cookie;
        if (c.after == nullptr) {
            EXPECT_EQ(attrs, before) << c.cookie;
        } else {
            BuildCookie(attrs, name, out);
            EXPECT_EQ(out.Str(), c.after) << c.cookie;
        }
    }
}
