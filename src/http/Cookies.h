#pragma once

#include "settings/CSetCookieList.h"
#include "text/CIString.h"

#include <ctime>
#include <functional>
#include <map>

// Cookie judgement: parsing and rebuilding Set-Cookie values, cutting their
// lifetime, and the cookie date format. Everything here works on text only;
// the header filter applies it to the fields of a message.

// The attributes of one Set-Cookie value, ordered case-insensitively by name.
// The cookie's own name-value pair is one of the entries.
using CookieAttributes = std::map<CIString, CIString>;

// How a domain's cookies are treated: kCookieBad (removed), kCookieNeutral
// (allowed; a server's cookie gets a limited lifetime), kCookieGood (allowed
// unchanged), as the cookie lists store them; 0 when no list names the domain.
inline constexpr int kCookieUnlisted = 0;

// Field directions of FilterCookies and ClassifyCookie.
enum CookieDirection : int {
    kCookieRequest = 0,  // "Cookie" fields of a request
    kCookieResponse = 1, // "Set-Cookie" fields of a response
};

// What to do with one cookie field.
enum CookieVerdict : int {
    kCookieKeep = 0,
    kCookieRemove = 1,
    kCookieReplace = 2,
};

// The cookie settings of one group, detached from the settings object so that
// the judgement can run (and be tested) without one.
struct CookieRules {
    // Type of the first entry of the user's list that matches the host, 0 when none.
    std::function<int(const CIString& host)> userLookup;
    // The same for the built-in list; empty when the built-in list is switched off.
    std::function<int(const CIString& host)> builtInLookup;
    // Type given to domains that no list names.
    int defaultType = kCookieNeutral;
    bool expireBySession = false;
    int expireHours = 24;
    int expireMins = 0;

    // Longest life of a neutral cookie in seconds; -1 for the browser session.
    long LimitSeconds() const;
};

// The cookie type of a domain: user's list, then the built-in list, then the
// default type.
int GetCookieType(const CookieRules& rules, const CIString& domain);

// The verdict on one field value. domain is the request's host; a Set-Cookie
// naming its own domain is judged by that one instead. now is the time the
// lifetime limit counts from.
CookieVerdict ClassifyCookie(const CookieRules& rules, CookieDirection direction,
                             const CIString& domain, const CIString& value, CIString& newValue,
                             std::time_t now = std::time(nullptr));

// Splits a Set-Cookie value into its attributes; cookieName is the name of the
// first named segment.
void ParseCookie(const CIString& value, CookieAttributes& attributes, CIString& cookieName);

// Rewrites the expiry so that the cookie dies no later than limitSeconds from
// now (limitSeconds < 0: with the browser session). Returns true when the
// attributes were changed and the cookie must be rebuilt; a cookie that already
// dies soon enough is left alone, and no cookie is made to live longer.
bool LimitCookieLifetime(CookieAttributes& attributes, long limitSeconds,
                         std::time_t now = std::time(nullptr));

// The cookie's own pair first, then every other attribute in name order.
void BuildCookie(const CookieAttributes& attributes, const CIString& cookieName, CIString& value);

// "Wednesday, 09-Jun-2027 10:18:14 GMT".
void FormatCookieDate(std::time_t time, CIString& text);

// Reads the dashed form written by FormatCookieDate (two-digit years allowed)
// and the form with blanks between day, month and year. Fields the text does
// not supply count as 0. Returns -1 when the date cannot be represented.
std::time_t ParseCookieDate(const CIString& text);
