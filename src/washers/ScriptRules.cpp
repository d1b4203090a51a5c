#include "washers/ScriptRules.h"

#include "http/CConnInfo.h"
#include "settings/CSettings.h"
#include "stats/CStatistic.h"
#include "text/CIString.h"
#include "text/TextSearch.h"
#include "washers/AdVerdicts.h"

namespace washers {

namespace {

using textsearch::FindNoCase;
using textsearch::IsBlank;
using textsearch::IsLetterOrDigit;
using textsearch::kNotFound;

constexpr std::size_t kClosed = std::string_view::npos;

std::size_t SkipBlanks(std::string_view text, std::size_t from) {
    while (from < text.size() && IsBlank(text[from]))
        ++from;
    return from;
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

// Where a script keeps its URLs: attribute-like assignments, URLs written
// out in full, and the argument of open().
struct ScriptWord {
    std::string_view word;
    bool needsDelimiter;
    char delimiter;
};
constexpr ScriptWord kScriptWords[] = {
    {"Server", true, '='}, {"href", true, '='},     {"src", true, '='},
    {":/", false, 0},      {"popupurl", true, '='}, {"open", true, '('},
};

// The keyword word at i, standing on its own, with at least one byte of the
// range after it.
bool KeywordAt(std::string_view range, std::size_t i, std::string_view word) {
    if (range.size() - i <= word.size())
        return false;
    if (FindNoCase(range.substr(i, word.size()), word) != 0)
        return false;
    if (i > 0 && IsLetterOrDigit(range[i - 1]))
        return false;
    return !IsLetterOrDigit(range[i + word.size()]);
}

// The processing range of a script: an HTML comment that wraps the script
// ("<!--" with its line, "-->" with the "//" that hides it from the script
// engine) stays out of the rewrite.
struct Range {
    std::size_t begin;
    std::size_t end;
};

Range ScriptRange(std::string_view text) {
    const std::size_t size = text.size();
    std::size_t begin = SkipBlanks(text, 0);
    if (size - begin >= 3 && text.substr(begin, 3) == "<!-") {
        begin = SkipBlanks(text, std::min(begin + 4, size));
        if (size - begin >= 2 && text.substr(begin, 2) == "//") {
            const std::size_t nl = text.find('\n', begin);
            begin = nl == kNotFound ? size : nl + 1;
        }
    } else {
        begin = 0;
    }

    std::size_t end = size;
    std::size_t last = size;
    while (last > begin && IsBlank(text[last - 1]))
        --last;
    if (last - begin >= 2 && text.substr(last - 2, 2) == "->") {
        std::size_t point = last - 2;
        // The usual closer is "-->"; its first dash belongs to it as well.
        if (point > begin && text[point - 1] == '-')
            --point;
        const std::size_t nl = point == 0 ? kNotFound : text.rfind('\n', point - 1);
        const std::size_t lineStart = nl == kNotFound ? 0 : nl + 1;
        for (std::size_t j = point; j >= lineStart + 2; --j) {
            if (text[j - 2] == '/' && text[j - 1] == '/') {
                point = j - 2;
                break;
            }
        }
        end = point;
        if (nl != kNotFound) {
            bool onlyBlanks = true;
            for (std::size_t j = lineStart; j < point && onlyBlanks; ++j)
                onlyBlanks = IsBlank(text[j]);
            if (onlyBlanks)
                end = nl;
        }
        end = std::max(end, begin);
    }
    return {begin, end};
}

// The rewritten script, built from the kept stretches of the original: every
// deletion lies behind the previous one, so the rewrite is one pass however
// many statements go.
class CRewrite {
public:
    explicit CRewrite(std::string_view original) : m_in(original) {
        m_out.reserve(original.size());
    }

    void Delete(std::size_t from, std::size_t to) { Replace(from, to, {}); }

    // An initial value becomes 0; an empty one stays empty, so that the text
    // never grows.
    void Zero(std::size_t from, std::size_t to) { Replace(from, to, "0"); }

    std::string Finish() {
        m_out.append(m_in.substr(m_kept));
        return std::move(m_out);
    }

private:
    void Replace(std::size_t from, std::size_t to, std::string_view by) {
        from = std::max(from, m_kept);
        to = std::min(to, m_in.size());
        if (to <= from)
            return;
        m_out.append(m_in.substr(m_kept, from - m_kept));
        m_out.append(by);
        m_kept = to;
    }

    std::string_view m_in;
    std::string m_out;
    std::size_t m_kept = 0;
};

// The walk over a script's processing range. Levels: 0 top level, 1 a
// function's head, 2 and more inside its body; -1 the names of a var
// statement, -2 an initial value, -3 after a comma. A cut is the start of a
// stretch that goes (kClosed when none is open).
class CNeutraliser {
public:
    CNeutraliser(std::string_view range, CRewrite& rewrite) : m_r(range), m_out(rewrite) {}

    void Run(std::size_t begin) {
        m_cut = begin;
        std::size_t i = begin;
        while (i < m_r.size())
            i = Step(i);
        if (m_level == -2)
            m_out.Zero(m_cut, m_r.size());
        else if (m_cut != kClosed)
            m_out.Delete(m_cut, m_r.size());
        else if (m_level >= 2)
            m_out.Delete(m_body, m_r.size()); // a body that never closes does nothing
    }

private:
    // One step from i; returns where the walk goes on, always behind i.
    std::size_t Step(std::size_t i) {
        const std::size_t n = m_r.size();
        const char c = m_r[i];
        if (m_quote != 0) {
            if (c == '\\')
                return i + 2;
            if (c == m_quote)
                m_quote = 0;
            return i + 1;
        }
        if (IsQuote(c)) {
            m_quote = c;
            return i + 1;
        }
        if (c == '/' && i + 1 < n && m_r[i + 1] == '/')
            return LineComment(i);
        if (c == '/' && i + 1 < n && m_r[i + 1] == '*') {
            const std::size_t close = m_r.find("*/", i + 2);
            return close == kNotFound ? n : close + 2;
        }
        if (m_level == 0)
            return TopLevel(i);
        if (m_level > 0)
            return InFunction(i, c);
        return InVar(i, c);
    }

    std::size_t LineComment(std::size_t i) {
        const std::size_t n = m_r.size();
        const std::size_t nl = m_r.find('\n', i + 2);
        const std::size_t next = nl == kNotFound ? n : nl + 1;
        // Inside brackets of a var statement the comment is part of the value
        // (or of the names) and the line break means nothing.
        if (m_level < 0 && m_depth > 0)
            return next;
        const bool open = m_cut != kClosed;
        if (m_level == -2)
            m_out.Zero(m_cut, i);
        else if (open)
            m_out.Delete(m_cut, i);
        m_cut = kClosed;
        if (nl == kNotFound) {
            // The comment runs to the end and stays; so does an open value's 0.
            if (m_level == -2)
                m_level = -1;
            return n;
        }
        // The comment stays with its line break; the break ends a var
        // statement as a bare one would.
        if (m_level == -3) {
            m_level = -1;
        } else if (m_level == -1 || m_level == -2) {
            m_level = 0;
            m_cut = next;
        } else if (m_level == 0 && open) {
            m_cut = next;
        }
        return next;
    }

    std::size_t TopLevel(std::size_t i) {
        if (KeywordAt(m_r, i, "function")) {
            m_out.Delete(m_cut, i);
            m_cut = kClosed;
            m_level = 1;
            return i + 8;
        }
        if (KeywordAt(m_r, i, "var")) {
            m_out.Delete(m_cut, i);
            m_cut = kClosed;
            m_level = -1;
            m_depth = 0;
            return i + 3;
        }
        return i + 1;
    }

    std::size_t InFunction(std::size_t i, char c) {
        if (c == '{') {
            if (++m_level == 2)
                m_body = i + 1;
        } else if (c == '}' && m_level > 1) {
            if (--m_level == 1) {
                m_out.Delete(m_body, i);
                std::size_t j = i + 1;
                while (j < m_r.size() && (m_r[j] == ' ' || m_r[j] == '\t' || m_r[j] == ';'))
                    ++j;
                if (j + 1 < m_r.size() && m_r[j] == '\r' && m_r[j + 1] == '\n')
                    j += 2;
                else if (j < m_r.size() && m_r[j] == '\n')
                    ++j;
                m_cut = j;
                m_level = 0;
                return j;
            }
        }
        return i + 1;
    }

    std::size_t InVar(std::size_t i, char c) {
        // Brackets of every kind hold calls, arrays, object literals and
        // function values; their commas and line breaks are the value's own.
        if (c == '(' || c == '[' || c == '{') {
            ++m_depth;
            return i + 1;
        }
        if (c == ')' || c == ']' || c == '}') {
            if (m_depth > 0)
                --m_depth;
            return i + 1;
        }
        if (m_depth > 0)
            return i + 1;
        switch (c) {
        case '=':
            // A later '=' (a comparison, a chained assignment) is part of the value.
            if (m_level != -2) {
                m_level = -2;
                m_cut = i + 1;
            }
            break;
        case ',':
            if (m_level == -2)
                m_out.Zero(m_cut, i);
            m_cut = kClosed;
            m_level = -3;
            break;
        case ';': {
            if (m_level == -2)
                m_out.Zero(m_cut, i);
            std::size_t j = i + 1;
            while (j < m_r.size() && (m_r[j] == ' ' || m_r[j] == '\t' || m_r[j] == '\r'))
                ++j;
            m_cut = j < m_r.size() && m_r[j] == '\n' ? j + 1 : i + 1;
            m_level = 0;
            return m_cut;
        }
        case '\n':
            if (m_level == -2)
                m_out.Zero(m_cut, i > m_cut && m_r[i - 1] == '\r' ? i - 1 : i);
            if (m_level == -3) {
                m_level = -1;
                m_cut = kClosed;
            } else {
                m_level = 0;
                m_cut = i + 1;
            }
            break;
        default:
            if (m_level == -3 && IsLetterOrDigit(c))
                m_level = -1;
            break;
        }
        return i + 1;
    }

    std::string_view m_r;
    CRewrite& m_out;
    char m_quote = 0;
    std::size_t m_cut = kClosed;
    int m_level = 0;
    int m_depth = 0;
    std::size_t m_body = 0;
};

} // namespace

int ClassIdKind(std::string_view classId) {
    if (FindNoCase(classId, "clsid") != kNotFound)
        return 2;
    if (FindNoCase(classId, "java:") != kNotFound)
        return 1;
    return 0;
}

bool ExtractValue(std::string_view text, std::string_view word, bool needsDelimiter, char delimiter,
                  std::size_t& pos, std::string& value) {
    if (word.empty() || pos > text.size())
        return false;
    if (delimiter == 0)
        delimiter = '=';
    const std::size_t size = text.size();
    std::size_t from = pos;
    for (;;) {
        const std::size_t hit = FindNoCase(text, word, from);
        if (hit == kNotFound)
            return false;
        from = hit + 1;
        std::size_t start = hit + word.size();
        char quote = 0;
        bool escaped = false;
        if (needsDelimiter) {
            start = SkipBlanks(text, start);
            if (start >= size || text[start] != delimiter)
                continue;
            start = SkipBlanks(text, start + 1);
            if (start < size && IsQuote(text[start])) {
                quote = text[start++];
            } else if (size - start >= 2 && text[start] == '\\' && IsQuote(text[start + 1])) {
                quote = text[start + 1];
                escaped = true;
                start += 2;
            }
        }
        std::size_t end = start;
        for (; end < size; ++end) {
            const char c = text[end];
            if (c == '"' || c == '>' || (quote == 0 && IsBlank(c)))
                break;
            // A single quote ends a bare URL, and the value that it opened.
            if (c == '\'' && (!needsDelimiter || quote == '\''))
                break;
        }
        std::size_t valueEnd = end;
        if (escaped && end < size && valueEnd > start && text[valueEnd - 1] == '\\')
            --valueEnd; // the backslash of the closing \" or \'
        if (!needsDelimiter && valueEnd == start)
            continue;
        value.assign(text.substr(start, valueEnd - start));
        pos = end;
        return true;
    }
}

std::size_t NeutraliseScript(std::string& text) {
    const Range range = ScriptRange(text);
    CRewrite rewrite(text);
    CNeutraliser(std::string_view(text).substr(0, range.end), rewrite).Run(range.begin);
    std::string result = rewrite.Finish();
    const std::size_t removed = text.size() - result.size();
    text = std::move(result);
    return removed;
}

bool ScriptIsUnwanted(std::string_view text, const CSettings& settings, const CConnInfo& page,
                      CStatistic* statistic) {
    const auto count = [statistic](CStatistic::Event event) {
        if (statistic != nullptr)
            statistic->Increment(event);
    };

    if (settings.IsOn(CSettings::kPopupFilterEnabled)) {
        bool popup = textsearch::FindWord(text, "window.open") != kNotFound;
        if (!popup) {
            // A bare open() is the window's; document.open() and the like are not.
            const std::size_t open = textsearch::FindWord(text, "open");
            popup = open != kNotFound && (open == 0 || text[open - 1] != '.');
        }
        if (popup) {
            count(CStatistic::FilteredWindows);
            return true;
        }
    }

    const bool scriptFilter = settings.IsOn(CSettings::kScriptFilterEnabled);
    if (scriptFilter && settings.IsOn(CSettings::kScriptFilterNoURLChange)) {
        constexpr std::string_view kLocation = ".location.href";
        const std::size_t hit = textsearch::FindOutsideQuotes(text, kLocation);
        if (hit != kNotFound) {
            // Only an assignment changes the location; a script that compares
            // it first is taken as one that knows what it does.
            const std::size_t next = SkipBlanks(text, hit + kLocation.size());
            if (text.size() - next < 2 || text[next] != '=' || text[next + 1] == '=')
                return false;
            count(CStatistic::FilteredScripts);
            return true;
        }
    }

    if (scriptFilter && settings.IsOn(CSettings::kScriptFilterNoStatusChange) &&
        textsearch::FindWord(text, "window.status") != kNotFound) {
        count(CStatistic::FilteredScripts);
        return true;
    }

    if (settings.IsOn(CSettings::kURLFilterEnabled) &&
        settings.IsOn(CSettings::kURLFilterScripts)) {
        std::string value;
        for (const ScriptWord& row : kScriptWords) {
            std::size_t pos = 0;
            while (ExtractValue(text, row.word, row.needsDelimiter, row.delimiter, pos, value) &&
                   !value.empty()) {
                CIString url(value);
                // A URL written out in full gives its value from the second
                // slash of "://" on: with the first one back it names its own
                // host, not a path on the page's server.
                if (!row.needsDelimiter && url[0] == '/')
                    url.insert(url.begin(), '/');
                page.MakeAbsoluteURL(url);
                if (url.find("/banner.") == CIString::npos &&
                    IsListedURL(settings, url.View(), &page)) {
                    count(CStatistic::FilteredScripts);
                    return true;
                }
            }
        }
    }
    return false;
}

} // namespace washers
