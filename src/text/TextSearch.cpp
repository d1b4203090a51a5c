#include "text/TextSearch.h"

#include "text/CIString.h"

#include <cstring>

namespace textsearch {

namespace {

constexpr std::string_view kScriptDelimiters{"\t\n\r .;=(){}[]\0", 15};

bool IsDelimiter(char c) noexcept {
    return kScriptDelimiters.find(c) != std::string_view::npos;
}

bool MatchesAt(std::string_view text, std::size_t pos, std::string_view word) noexcept {
    return text.size() - pos >= word.size() &&
           ci_char_traits::compare(text.data() + pos, word.data(), word.size()) == 0;
}

} // namespace

std::size_t FindNoCase(std::string_view text, std::string_view word, std::size_t from) noexcept {
    if (word.empty() || from > text.size() || text.size() - from < word.size())
        return word.empty() && from <= text.size() ? from : kNotFound;
    const char first = ci_char_traits::Fold(word[0]);
    const char other = (first >= 'A' && first <= 'Z') ? static_cast<char>(first + 0x20) : first;
    const std::size_t lastStart = text.size() - word.size();
    // memchr for the rarer of the two spellings would miss the other; looking
    // for either byte in one pass keeps the search linear and simple.
    for (std::size_t i = from; i <= lastStart; ++i) {
        const char c = text[i];
        if ((c == first || c == other) && MatchesAt(text, i, word))
            return i;
    }
    return kNotFound;
}

std::size_t FindOutsideQuotes(std::string_view text, std::string_view word,
                              char quoteAfter) noexcept {
    char quote = 0;        // the quote that opened the current stretch
    char lastNonBlank = 0; // outside quotes: the last byte that was not blank
    const char first = word.empty() ? 0 : ci_char_traits::Fold(word[0]);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool escaped = i > 0 && text[i - 1] == '\\';
        if (quote != 0) {
            if (c == quote && !escaped)
                quote = 0;
            continue;
        }
        if ((c == '"' || c == '\'') && !escaped &&
            (quoteAfter == 0 || lastNonBlank == quoteAfter)) {
            quote = c;
            continue;
        }
        if (ci_char_traits::Fold(c) == first && MatchesAt(text, i, word))
            return i;
        if (!IsBlank(c))
            lastNonBlank = c;
    }
    return kNotFound;
}

std::size_t FindWord(std::string_view text, std::string_view word) noexcept {
    std::size_t offset = 0;
    while (offset < text.size()) {
        const std::size_t hit = FindOutsideQuotes(text.substr(offset), word);
        if (hit == kNotFound)
            return kNotFound;
        const std::size_t pos = offset + hit;
        const std::size_t after = pos + word.size();
        if ((pos == 0 || IsDelimiter(text[pos - 1])) &&
            (after >= text.size() || IsDelimiter(text[after])))
            return pos;
        // Searching on from inside the match would reopen quotes that the
        // match itself skipped; the delimiter rule makes one byte on enough.
        offset = pos + 1;
    }
    return kNotFound;
}

std::size_t SkipChars(std::string_view text, std::string_view set, std::size_t from) noexcept {
    while (from < text.size() && set.find(text[from]) != std::string_view::npos)
        ++from;
    return from < text.size() ? from : text.size();
}

} // namespace textsearch
