// Set-Cookie values and cookie dates come from any server. The input is a
// cookie value, a NUL, and a date text. A value rebuilt from its attributes
// parses to the same attributes; a lifetime cut once needs no second cut; a
// date that parses, written in the cookie date form, parses to the same time.
#include "http/Cookies.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

constexpr std::time_t kNow = 1800000000; // a fixed "now": runs repeat exactly

int TypeOf(const CIString& host) {
    return static_cast<int>(host.size() % 4); // unlisted, bad, neutral, good
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto split = input.find('\0');
    const CIString value(input.substr(0, split));
    const CIString date(split == std::string::npos ? std::string() : input.substr(split + 1));

    CookieAttributes attributes, again;
    CIString name, againName, rebuilt;
    ParseCookie(value, attributes, name);
    BuildCookie(attributes, name, rebuilt);
    ParseCookie(rebuilt, again, againName);
    if (again != attributes || againName != name)
        std::abort();

    // A cookie named like a lifetime attribute shares its entry with it; the
    // cut then changes the cookie itself, and is left out here.
    const bool namedLikeLifetime = name == "expires" || name == "max-age";
    for (const long limit : {-1L, 0L, 3600L, 86400L * 400}) {
        if (namedLikeLifetime)
            break;
        CookieAttributes cut = attributes;
        if (LimitCookieLifetime(cut, limit, kNow)) {
            BuildCookie(cut, name, rebuilt);
            ParseCookie(rebuilt, again, againName);
            if (LimitCookieLifetime(again, limit, kNow))
                std::abort();
        }
    }

    // Years from 31 to 1899 are read as two-digit years of the 1900s, so
    // only a time from 1900 on, up to the year 9999 in four digits, can be
    // written and read back.
    constexpr std::time_t k1900 = -2208988800;
    constexpr std::time_t k10000 = 253402300800;
    const std::time_t when = ParseCookieDate(date);
    if (when != -1 && when >= k1900 && when < k10000) {
        CIString text;
        FormatCookieDate(when, text);
        if (ParseCookieDate(text) != when)
            std::abort();
    }

    CookieRules rules;
    rules.userLookup = TypeOf;
    rules.builtInLookup = [](const CIString&) { return kCookieUnlisted; };
    CIString replaced;
    for (const CookieDirection direction : {kCookieRequest, kCookieResponse})
        ClassifyCookie(rules, direction, date, value, replaced, kNow);
    return 0;
}
