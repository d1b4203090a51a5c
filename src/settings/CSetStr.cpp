#include "settings/CSetStr.h"

namespace {

bool IsLineBreak(char c) {
    return c == '\r' || c == '\n';
}

// Whether the byte at pos follows an odd run of backslashes (from begin on).
bool IsEscaped(const CIString& text, std::size_t begin, std::size_t pos) {
    std::size_t backslashes = 0;
    while (pos > begin + backslashes && text[pos - backslashes - 1] == '\\')
        ++backslashes;
    return backslashes % 2 == 1;
}

} // namespace

CIString CSetStr::Quote(const CIString& value) {
    CIString text;
    text.reserve(value.size() + 2);
    text += '\'';
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        switch (c) {
        case '\t':
            text += "\\t";
            break;
        case '\r':
        case '\n':
            // A CR LF (or LF CR, CR CR, LF LF) pair is one line break.
            if (i + 1 < value.size() && IsLineBreak(value[i + 1]))
                ++i;
            text += "\\n";
            break;
        case '\'':
            text += "\\'";
            break;
        case '\\':
            text += "\\\\";
            break;
        default:
            text += c;
        }
    }
    text += '\'';
    return text;
}

CIString CSetStr::Unquote(const CIString& text) {
    // Every quote at either end goes, not only one on each side; but a quote
    // that the value ends with is written escaped and must stay, or a value
    // like it's' would come back as it's with a stray backslash.
    std::size_t begin = 0, end = text.size();
    while (begin < end && text[begin] == '\'')
        ++begin;
    while (end > begin && text[end - 1] == '\'' && !IsEscaped(text, begin, end - 1))
        --end;
    const ci_string_view inner(text.data() + begin, end - begin);
    CIString value;
    value.reserve(inner.size());
    for (std::size_t i = 0; i < inner.size(); ++i) {
        const char c = inner[i];
        if (c == '\\' && i + 1 < inner.size()) {
            const char next = inner[i + 1];
            const char plain = next == 'n' ? '\n' : next == 't' ? '\t' : next;
            if (next == '\'' || next == '\\' || next == 'n' || next == 't') {
                value += plain;
                ++i;
                continue;
            }
        }
        value += c;
    }
    return value;
}

void CSetStr::GetString(int /*sub*/, CIString& text) const {
    text = Quote(m_value);
}

void CSetStr::SetString(int /*sub*/, const CIString& text) {
    m_value = text.empty() ? CIString() : Unquote(text);
}
