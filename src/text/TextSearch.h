#pragma once

#include <cstddef>
#include <string_view>

// Searches in page and script text as the washers need them: case-insensitive
// (ASCII letters only, no locale), aware of quoted stretches, and of words that
// stand between script delimiters. Positions are offsets into the text;
// kNotFound when there is none.
namespace textsearch {

inline constexpr std::size_t kNotFound = std::string_view::npos;

// The blanks of the tag scanner: space, NUL, 0xFF, tab, CR, LF.
inline bool IsBlank(char c) noexcept {
    return c == ' ' || c == '\0' || c == '\xff' || c == '\t' || c == '\r' || c == '\n';
}
inline bool IsLetterOrDigit(char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// First occurrence of word at or after from, letters compared without case.
std::size_t FindNoCase(std::string_view text, std::string_view word, std::size_t from = 0) noexcept;

// First occurrence of word outside quoted stretches. A quote (double or
// single) preceded by a backslash counts for nothing; any other opens a
// stretch that only the same kind of quote closes. With quoteAfter set, a
// quote opens a stretch only where the last non-blank byte before it is
// quoteAfter (the scanner passes '=': attribute values are quoted, apostrophes
// in attribute-free text are not).
std::size_t FindOutsideQuotes(std::string_view text, std::string_view word,
                              char quoteAfter = 0) noexcept;

// FindOutsideQuotes that accepts only a match standing between delimiters of
// script text (blank, . ; = ( ) { } [ ], NUL) or the edges of the text.
std::size_t FindWord(std::string_view text, std::string_view word) noexcept;

// First position at or after from whose byte is not in set; text.size() when
// every byte is.
std::size_t SkipChars(std::string_view text, std::string_view set, std::size_t from = 0) noexcept;

} // namespace textsearch
