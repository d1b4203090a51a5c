#include "http/Cookies.h"

#include <cstdio>
#include <limits>
#include <optional>

namespace {

constexpr const char* kWeekdays[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                      "Thursday", "Friday", "Saturday"};
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const CIString& AttrExpires() {
    static const CIString name("expires");
    return name;
}
const CIString& AttrMaxAge() {
    static const CIString name("max-age");
    return name;
}
const CIString& AttrDomain() {
    static const CIString name("domain");
    return name;
}

// Blanks and quotes together: trimmed one set after the other, a text could
// lose more when it is read again from the cookie rebuilt from it.
void TrimCookieText(CIString& text) {
    text.Trim(" \t\r\n\"'");
}

// Days from 1970-01-01 to the first of the given month of the proleptic
// Gregorian calendar (month 1..12); exact for every year that fits.
long long DaysFromCivil(long long year, unsigned month) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const auto yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

// A small reader over the date text with the conversions of the two date
// forms: numbers as %d reads them, month names as %3s reads them.
class DateReader {
public:
    explicit DateReader(std::string_view text) : m_text(text) {}

    bool AtBlank() const { return m_pos < m_text.size() && IsBlank(m_text[m_pos]); }
    void SkipBlanks() {
        while (AtBlank())
            ++m_pos;
    }
    bool Literal(char c) {
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    // Leading blanks, an optional sign, digits. Saturates instead of overflowing.
    bool Number(long long& value) {
        SkipBlanks();
        std::size_t p = m_pos;
        bool negative = false;
        if (p < m_text.size() && (m_text[p] == '-' || m_text[p] == '+'))
            negative = m_text[p++] == '-';
        const std::size_t digits = p;
        long long v = 0;
        while (p < m_text.size() && m_text[p] >= '0' && m_text[p] <= '9') {
            if (v < 1'000'000'000'000LL)
                v = v * 10 + (m_text[p] - '0');
            ++p;
        }
        if (p == digits)
            return false;
        m_pos = p;
        value = negative ? -v : v;
        return true;
    }
    // Leading blanks, then up to three bytes that are not blanks.
    bool Word3(std::string_view& word) {
        SkipBlanks();
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && m_pos - start < 3 && !IsBlank(m_text[m_pos]))
            ++m_pos;
        word = m_text.substr(start, m_pos - start);
        return !word.empty();
    }
    void SkipWord() {
        while (m_pos < m_text.size() && !IsBlank(m_text[m_pos]))
            ++m_pos;
    }

private:
    static bool IsBlank(char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

struct DateFields {
    long long day = 0, year = 0, hour = 0, minute = 0, second = 0;
    std::string_view month;
    int count = 0; // fields read, in order
};

// "hh:mm:ss" after the date, the seconds optional.
void ReadTime(DateReader& in, DateFields& f) {
    if (!in.Number(f.hour))
        return;
    ++f.count;
    if (!in.Literal(':') || !in.Number(f.minute))
        return;
    ++f.count;
    if (in.Literal(':') && in.Number(f.second))
        ++f.count;
}

// "dd-Mon-yyyy hh:mm:ss": stops at the first field that does not fit.
void ReadDashed(DateReader in, DateFields& f) {
    if (!in.Number(f.day))
        return;
    ++f.count;
    if (!in.Literal('-') || !in.Word3(f.month))
        return;
    ++f.count;
    if (!in.Literal('-') || !in.Number(f.year))
        return;
    ++f.count;
    ReadTime(in, f);
}

// "dd Mon yyyy hh:mm:ss", the form of RFC 1123 dates; the month may be spelt out.
void ReadBlanked(DateReader in, DateFields& f) {
    if (!in.Number(f.day))
        return;
    ++f.count;
    if (!in.AtBlank() || !in.Word3(f.month))
        return;
    in.SkipWord();
    ++f.count;
    if (!in.AtBlank() || !in.Number(f.year))
        return;
    ++f.count;
    ReadTime(in, f);
}

struct ParsedDate {
    std::time_t time = -1;
    bool complete = false; // day, a known month and a year were all given
};

ParsedDate ParseDate(const CIString& text) {
    std::string_view view = text.View();
    if (const auto comma = view.find(','); comma != std::string_view::npos)
        view.remove_prefix(comma + 1);

    DateFields f;
    ReadDashed(DateReader(view), f);
    if (f.count == 1) {
        DateFields blanked;
        ReadBlanked(DateReader(view), blanked);
        if (blanked.count > 1)
            f = blanked;
    }
    if (f.count < 2)
        f.month = {};

    long long year = f.year;
    if (year < 31)
        year += 2000;
    else if (year <= 1899)
        year += 1900;

    int month = -1;
    if (f.month.size() == 3) {
        for (int m = 0; m < 12; ++m)
            if (EqualsNoCase(f.month, kMonths[m]))
                month = m;
    }

    ParsedDate result;
    result.complete = f.count >= 3 && month >= 0;
    // Beyond what a calendar time of the system can hold.
    if (year < std::numeric_limits<int>::min() + 1900LL ||
        year > std::numeric_limits<int>::max() + 1900LL)
        return result;
    const long long days = DaysFromCivil(year, static_cast<unsigned>(month < 0 ? 1 : month + 1));
    const long long seconds = (days + f.day - 1) * 86400 + f.hour * 3600 + f.minute * 60 + f.second;
    result.time = static_cast<std::time_t>(seconds);
    return result;
}

// Delta seconds of a max-age value; empty when the text is not a number, which
// a browser ignores.
std::optional<long long> ParseMaxAge(const CIString& text) {
    std::string_view v = text.View();
    bool negative = false;
    if (!v.empty() && v.front() == '-') {
        negative = true;
        v.remove_prefix(1);
    }
    if (v.empty())
        return std::nullopt;
    long long value = 0;
    for (char c : v) {
        if (c < '0' || c > '9')
            return std::nullopt;
        if (value < 1'000'000'000'000LL)
            value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

} // namespace

long CookieRules::LimitSeconds() const {
    if (expireBySession)
        return -1;
    return (static_cast<long>(expireHours) * 60 + expireMins) * 60;
}

int GetCookieType(const CookieRules& rules, const CIString& domain) {
    int type = rules.userLookup ? rules.userLookup(domain) : kCookieUnlisted;
    if (type == kCookieUnlisted && rules.builtInLookup)
        type = rules.builtInLookup(domain);
    if (type == kCookieUnlisted)
        type = rules.defaultType;
    return type;
}

CookieVerdict ClassifyCookie(const CookieRules& rules, CookieDirection direction,
                             const CIString& domain, const CIString& value, CIString& newValue,
                             std::time_t now) {
    if (direction == kCookieRequest)
        return GetCookieType(rules, domain) == kCookieBad ? kCookieRemove : kCookieKeep;

    CookieAttributes attributes;
    CIString cookieName;
    ParseCookie(value, attributes, cookieName);

    // A cookie that names its domain is judged by it. A leading dot only says
    // "and every host below", and an empty domain is ignored by browsers.
    CIString cookieDomain = domain;
    if (cookieName != AttrDomain()) {
        if (const auto it = attributes.find(AttrDomain()); it != attributes.end()) {
            CIString named = it->second;
            named.TrimLeft(".");
            if (!named.empty())
                cookieDomain = std::move(named);
        }
    }

    switch (GetCookieType(rules, cookieDomain)) {
    case kCookieBad:
        return kCookieRemove;
    case kCookieNeutral:
        if (!LimitCookieLifetime(attributes, rules.LimitSeconds(), now))
            return kCookieKeep;
        BuildCookie(attributes, cookieName, newValue);
        return kCookieReplace;
    default:
        return kCookieKeep;
    }
}

void ParseCookie(const CIString& value, CookieAttributes& attributes, CIString& cookieName) {
    attributes.clear();
    cookieName.clear();
    bool first = true;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find(';', start);
        if (end == CIString::npos)
            end = value.size();
        const std::string_view segment(value.data() + start, end - start);
        start = end + 1;

        const std::size_t eq = segment.find('=');
        CIString name(segment.substr(0, eq));
        CIString text;
        if (eq != std::string_view::npos)
            text = CIString(segment.substr(eq + 1));
        TrimCookieText(name);
        TrimCookieText(text);
        if (name.empty())
            continue;
        if (first) {
            cookieName = name;
            first = false;
        }
        attributes.emplace(std::move(name), std::move(text));
    }
}

bool LimitCookieLifetime(CookieAttributes& attributes, long limitSeconds, std::time_t now) {
    const auto maxAgeIt = attributes.find(AttrMaxAge());
    const auto expiresIt = attributes.find(AttrExpires());

    // When the cookie dies by its own attributes: max-age rules over expires, as
    // in browsers; a max-age that is not a number is ignored like there.
    std::optional<std::time_t> death;
    bool lifetimeGiven = false;
    if (maxAgeIt != attributes.end()) {
        if (const auto delta = ParseMaxAge(maxAgeIt->second)) {
            lifetimeGiven = true;
            death = *delta <= 0 ? now - 1 : now + static_cast<std::time_t>(*delta);
        }
    }
    if (!lifetimeGiven && expiresIt != attributes.end()) {
        lifetimeGiven = true;
        // A date we cannot read may still be a long one to the browser: cut it.
        const ParsedDate date = ParseDate(expiresIt->second);
        if (date.complete)
            death = date.time;
    }

    // Without a lifetime it is a session cookie already: the shortest there is.
    if (!lifetimeGiven)
        return false;

    if (limitSeconds < 0) {
        // A cookie that is being deleted must stay deleted.
        if (death && *death <= now)
            return false;
        attributes.erase(AttrMaxAge());
        attributes.erase(AttrExpires());
        return true;
    }

    if (death && *death <= now + limitSeconds)
        return false;

    attributes.erase(AttrMaxAge());
    FormatCookieDate(now + limitSeconds, attributes[AttrExpires()]);
    return true;
}

void BuildCookie(const CookieAttributes& attributes, const CIString& cookieName, CIString& value) {
    value.clear();
    if (!cookieName.empty()) {
        value = cookieName;
        if (const auto it = attributes.find(cookieName);
            it != attributes.end() && !it->second.empty()) {
            value += '=';
            value += it->second;
        }
    }
    for (const auto& [name, text] : attributes) {
        if (!cookieName.empty() && name == cookieName)
            continue;
        if (!value.empty())
            value += "; ";
        value += name;
        if (!text.empty()) {
            value += '=';
            value += text;
        }
    }
}

void FormatCookieDate(std::time_t time, CIString& text) {
    std::tm tm{};
    if (gmtime_r(&time, &tm) == nullptr) {
        text.clear();
        return;
    }
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, "%s, %02d-%s-%04d %02d:%02d:%02d GMT",
                                kWeekdays[tm.tm_wday], tm.tm_mday, kMonths[tm.tm_mon],
                                tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    text.assign(buffer, static_cast<std::size_t>(n > 0 ? n : 0));
}

std::time_t ParseCookieDate(const CIString& text) {
    return ParseDate(text).time;
}
