#include "html/CHTMLTag.h"

#include "http/CConnInfo.h"
#include "text/TextSearch.h"

#include <algorithm>
#include <cstring>

using textsearch::IsBlank;

namespace {

// Name, blanks, attribute area and '>' together: past this the '<' is text.
constexpr std::uint32_t kMaxTagLength = 2 * CHTMLTag::kMaxTagPart + 2;

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsSeparator(char c) {
    return IsBlank(c) || c == '"' || c == '>';
}
bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

// Where an offset lands when n bytes at pos are erased: behind the gap it moves
// back, inside it it falls to pos.
std::uint32_t AfterErase(std::uint32_t x, std::uint32_t pos, std::uint32_t n) {
    if (x >= pos + n)
        return x - n;
    return x > pos ? pos : x;
}

} // namespace

CHTMLTag::CHTMLTag(CBuffer& buffer) : m_buffer(&buffer) {
    m_buffer->AddObserver(this);
}

CHTMLTag::CHTMLTag(const CHTMLTag& other)
    : CBufferObserver(), m_buffer(other.m_buffer), m_start(other.m_start),
      m_attrStart(other.m_attrStart), m_end(other.m_end), m_nameLength(other.m_nameLength),
      m_attrLength(other.m_attrLength), m_pending(other.m_pending) {
    m_buffer->AddObserver(this);
}

CHTMLTag& CHTMLTag::operator=(const CHTMLTag& other) {
    if (this != &other) {
        if (m_buffer != other.m_buffer) {
            m_buffer->RemoveObserver(this);
            m_buffer = other.m_buffer;
            m_buffer->AddObserver(this);
        }
        m_start = other.m_start;
        m_attrStart = other.m_attrStart;
        m_end = other.m_end;
        m_nameLength = other.m_nameLength;
        m_attrLength = other.m_attrLength;
        m_pending = other.m_pending;
    }
    return *this;
}

CHTMLTag::~CHTMLTag() {
    m_buffer->RemoveObserver(this);
}

void CHTMLTag::Clear() {
    m_start = m_attrStart = m_end = m_nameLength = m_attrLength = 0;
}

std::string_view CHTMLTag::Text() const {
    return m_buffer->View();
}

bool CHTMLTag::NextTag(std::uint32_t limit) {
    m_start = m_end;
    const std::string_view text = Text();
    if (text.empty())
        return false;
    const std::uint32_t stop =
        std::min<std::uint32_t>(limit, static_cast<std::uint32_t>(text.size()));
    std::uint32_t from = std::min(m_start, stop);
    for (;;) {
        const void* found = std::memchr(text.data() + from, '<', stop - from);
        if (found == nullptr) {
            // No tag can begin before the limit: all of it is final text.
            m_start = m_end = stop;
            return false;
        }
        const auto lt = static_cast<std::uint32_t>(static_cast<const char*>(found) - text.data());
        if (stop - lt < 3) {
            // Too little to tell whether a tag begins: wait from the '<' on.
            m_start = lt + 1;
            m_end = lt;
            return false;
        }
        const char c = text[lt + 1];
        if (!(IsLetter(c) || c == '!' || (c == '/' && IsLetter(text[lt + 2])))) {
            from = lt + 1;
            continue;
        }
        const std::uint32_t windowEnd = std::min<std::uint32_t>(stop, lt + 1 + kMaxTagLength);
        const std::size_t tagEnd = FindTagEnd(text, lt, windowEnd);
        if (tagEnd == std::string_view::npos) {
            if (windowEnd == stop && windowEnd - lt - 1 < kMaxTagLength) {
                // The tag may end in data not here yet.
                m_start = lt + 1;
                m_end = lt;
                return false;
            }
            // Overlong: the whole stretch is one tag too long to be a tag, and
            // nothing inside it is one either (a browser would be inside it).
            from = windowEnd;
            continue;
        }
        const auto gt = static_cast<std::uint32_t>(tagEnd);

        std::uint32_t nameEnd = lt + 1;
        while (nameEnd < gt && !IsSeparator(text[nameEnd]))
            ++nameEnd;
        std::uint32_t attrStart = nameEnd < gt ? nameEnd + 1 : gt;
        while (attrStart < gt && IsBlank(text[attrStart]))
            ++attrStart;
        std::uint32_t attrEnd = gt;
        while (attrEnd > attrStart && IsBlank(text[attrEnd - 1]))
            --attrEnd;
        if (nameEnd - lt - 1 > kMaxTagPart || attrEnd - attrStart > kMaxTagPart) {
            from = gt + 1;
            continue;
        }
        m_start = lt + 1;
        m_nameLength = nameEnd - m_start;
        m_attrStart = attrStart;
        m_attrLength = attrEnd - attrStart;
        m_end = gt + 1;
        return true;
    }
}

std::size_t CHTMLTag::FindTagEnd(std::string_view text, std::uint32_t lt, std::uint32_t windowEnd) {
    const bool declaration = text[lt + 1] == '!';
    PendingEnd scan{true, lt, lt + 1, 0, 0};
    if (m_pending.valid && m_pending.lt == lt && m_pending.pos <= windowEnd)
        scan = m_pending;
    m_pending.valid = false;
    for (std::uint32_t pos = scan.pos; pos < windowEnd; ++pos) {
        const char c = text[pos];
        if (declaration) {
            if (c == '>')
                return pos;
            continue;
        }
        // A quote opens a value only right after '=' (blanks between), so that
        // an apostrophe in a bare word is a byte like any other; only its own
        // kind of quote closes it.
        const bool escaped = text[pos - 1] == '\\';
        if (scan.quote != 0) {
            if (c == scan.quote && !escaped)
                scan.quote = 0;
            continue;
        }
        if ((c == '"' || c == '\'') && !escaped && scan.lastNonBlank == '=') {
            scan.quote = c;
            continue;
        }
        if (c == '>')
            return pos;
        if (!IsBlank(c))
            scan.lastNonBlank = c;
    }
    scan.pos = windowEnd;
    m_pending = scan;
    return std::string_view::npos;
}

bool CHTMLTag::FindEndTag(const CHTMLTag& tag, std::uint32_t limit, EndTagSearch* progress) {
    const CIString wanted(Text().substr(tag.m_start, tag.m_nameLength));
    const EndTagSearch earlier = progress != nullptr ? *progress : EndTagSearch{};
    std::uint32_t from = std::max(tag.m_end, earlier.resume);
    if (wanted == "script" && !earlier.walking) {
        const std::string_view text = Text();
        const std::string_view hay = text.substr(0, std::min<std::size_t>(limit, text.size()));
        const std::size_t close = textsearch::FindNoCase(hay, "</script", from);
        if (close == textsearch::kNotFound) {
            // A "</script" cut by the end of the data begins in the last 7 bytes.
            if (progress != nullptr)
                *progress = {
                    std::max<std::uint32_t>(
                        from, hay.size() > 7 ? static_cast<std::uint32_t>(hay.size() - 7) : 0),
                    false};
            m_end = 0;
            return false;
        }
        from = static_cast<std::uint32_t>(close);
    }
    m_end = from;
    while (NextTag(limit)) {
        if (IsClosing() && m_nameLength == wanted.size() + 1 &&
            ci_char_traits::compare(Text().data() + m_start + 1, wanted.data(), wanted.size()) == 0)
            return true;
    }
    if (progress != nullptr)
        *progress = {std::max(from, m_start > 0 ? m_start - 1 : 0), true};
    return false;
}

bool CHTMLTag::TagNameIs(ci_string_view name) const {
    return m_nameLength == name.size() &&
           ci_char_traits::compare(Text().data() + m_start, name.data(), name.size()) == 0;
}

bool CHTMLTag::ClosingTagIs(ci_string_view name) const {
    return IsClosing() && TagNameIs(name);
}

bool CHTMLTag::IsClosing() const {
    return m_nameLength > 0 && Text()[m_start] == '/';
}

bool CHTMLTag::IsDeclaration() const {
    return m_nameLength > 0 && Text()[m_start] == '!';
}

CIString CHTMLTag::TagName() const {
    return CIString(Text().substr(m_start, m_nameLength));
}

bool CHTMLTag::FindAttr(ci_string_view name, AttrPosition& where) const {
    const std::string_view text = Text();
    const std::uint32_t areaEnd = m_attrStart + m_attrLength;
    if (areaEnd > text.size())
        return false;
    std::uint32_t pos = m_attrStart;
    const auto skipBlanks = [&] {
        while (pos < areaEnd && IsBlank(text[pos]))
            ++pos;
    };
    while (pos < areaEnd) {
        skipBlanks();
        const std::uint32_t nameStart = pos;
        while (pos < areaEnd && !IsBlank(text[pos]) && text[pos] != '=')
            ++pos;
        const std::uint32_t nameEnd = pos;
        const bool matches =
            nameEnd - nameStart == name.size() &&
            ci_char_traits::compare(text.data() + nameStart, name.data(), name.size()) == 0;
        skipBlanks();
        if (pos >= areaEnd || text[pos] != '=') {
            if (matches && nameEnd > nameStart) {
                where = {nameStart, nameEnd, nameEnd, 0, false};
                return true;
            }
            if (nameEnd == nameStart)
                ++pos; // a stray byte that is neither name nor value
            continue;
        }
        ++pos; // '='
        skipBlanks();
        if (pos >= areaEnd)
            return false; // "name=" with nothing behind: no value, no attribute
        std::uint32_t valueStart = pos;
        std::uint32_t valueEnd;
        char quote = 0;
        bool escapedQuote = false;
        if (IsQuote(text[pos]) ||
            (text[pos] == '\\' && pos + 1 < areaEnd && IsQuote(text[pos + 1]))) {
            escapedQuote = text[pos] == '\\';
            quote = text[pos + (escapedQuote ? 1 : 0)];
            valueStart = pos + (escapedQuote ? 2 : 1);
            valueEnd = valueStart;
            while (valueEnd < areaEnd && text[valueEnd] != quote)
                ++valueEnd;
            // A value opened by \" inside script text is closed by \" too.
            if (escapedQuote && valueEnd > valueStart && text[valueEnd - 1] == '\\')
                --valueEnd;
            pos = std::min(areaEnd,
                           valueEnd + (valueEnd < areaEnd && text[valueEnd] == '\\' ? 2u : 1u));
        } else {
            valueEnd = valueStart;
            while (valueEnd < areaEnd && !IsBlank(text[valueEnd]) && !IsQuote(text[valueEnd]) &&
                   text[valueEnd] != '>')
                ++valueEnd;
            pos = valueEnd;
        }
        if (matches) {
            where = {nameStart, valueStart, valueEnd, quote, true};
            return true;
        }
    }
    return false;
}

bool CHTMLTag::GetAttr(ci_string_view name, CIString& value, const CConnInfo* page) const {
    AttrPosition where;
    if (!FindAttr(name, where)) {
        value.clear();
        return false;
    }
    value.assign(Text().data() + where.valueStart, where.valueEnd - where.valueStart);
    if (page != nullptr && !value.empty())
        page->MakeAbsoluteURL(value);
    return true;
}

bool CHTMLTag::HasAttr(ci_string_view name) const {
    AttrPosition where;
    return FindAttr(name, where);
}

std::int64_t CHTMLTag::SetAttr(ci_string_view name, std::string_view value) {
    AttrPosition where;
    const bool present = FindAttr(name, where);
    if (!present && value.empty())
        return 0;
    const std::string_view text = Text();
    if (!present) {
        const std::uint32_t at = m_attrStart + m_attrLength;
        const bool space = at >= text.size() || !IsBlank(text[at]);
        std::string added;
        added.reserve(name.size() + value.size() + 4);
        if (space)
            added += ' ';
        added.append(name.data(), name.size()).append("=\"").append(value).append("\"");
        const std::uint32_t oldStart = m_attrStart;
        const std::uint32_t oldLength = m_attrLength;
        m_buffer->Insert(at, added.data(), static_cast<std::uint32_t>(added.size()));
        // An empty area sits at the insertion point and would have been pushed
        // behind the new text; the new attribute belongs to it.
        m_attrStart = oldStart;
        m_attrLength = oldLength + static_cast<std::uint32_t>(added.size());
        return static_cast<std::int64_t>(added.size());
    }
    if (value.empty()) {
        std::uint32_t from = where.nameStart;
        std::uint32_t to = where.valueEnd;
        if (where.quote != 0 && to < text.size() && text[to] == where.quote)
            ++to;
        if (from > 0 && IsBlank(text[from - 1]) && to < text.size() && IsSeparator(text[to]) &&
            text[to] != '"')
            --from;
        m_buffer->Erase(from, to - from);
        return -static_cast<std::int64_t>(to - from);
    }
    if (!where.hasValue) {
        // An attribute written without a value gets one.
        std::string added = "=\"";
        added.append(value).append("\"");
        m_buffer->Insert(where.valueStart, added.data(), static_cast<std::uint32_t>(added.size()));
        return static_cast<std::int64_t>(added.size());
    }
    const std::uint32_t oldLength = where.valueEnd - where.valueStart;
    m_buffer->Erase(where.valueStart, oldLength);
    m_buffer->Insert(where.valueStart, value.data(), static_cast<std::uint32_t>(value.size()));
    return static_cast<std::int64_t>(value.size()) - oldLength;
}

void CHTMLTag::RemoveTag() {
    if (m_start == 0 || m_end < m_start)
        return;
    m_buffer->Erase(m_start - 1, m_end - (m_start - 1));
}

void CHTMLTag::Inserted(std::uint32_t pos, std::uint32_t n) {
    if (m_pending.valid) {
        if (pos <= m_pending.lt) {
            m_pending.lt += n;
            m_pending.pos += n;
        } else if (pos < m_pending.pos) {
            m_pending.valid = false;
        }
    }
    if (m_start >= pos)
        m_start += n;
    if (m_attrStart < pos) {
        if (m_attrStart + m_attrLength >= pos)
            m_attrLength += n;
    } else {
        m_attrStart += n;
    }
    if (m_end >= pos)
        m_end += n;
}

void CHTMLTag::Erased(std::uint32_t pos, std::uint32_t n) {
    if (m_pending.valid) {
        if (pos + n <= m_pending.lt) {
            m_pending.lt -= n;
            m_pending.pos -= n;
        } else if (pos < m_pending.pos) {
            m_pending.valid = false;
        }
    }
    m_start = AfterErase(m_start, pos, n);
    m_end = AfterErase(m_end, pos, n);
    const std::uint32_t attrEnd = AfterErase(m_attrStart + m_attrLength, pos, n);
    m_attrStart = AfterErase(m_attrStart, pos, n);
    m_attrLength = attrEnd - m_attrStart;
}
