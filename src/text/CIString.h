#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

// Character traits that compare the way HTTP and HTML compare names: only the
// ASCII letters a-z are folded (onto A-Z); every other byte stands for itself,
// and bytes order as signed 8-bit values. No locale is consulted.
struct ci_char_traits : std::char_traits<char> {
    static constexpr char Fold(char c) noexcept {
        return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c;
    }
    static constexpr bool eq(char a, char b) noexcept { return Fold(a) == Fold(b); }
    static constexpr bool lt(char a, char b) noexcept {
        return static_cast<signed char>(Fold(a)) < static_cast<signed char>(Fold(b));
    }
    static constexpr int compare(const char* p, const char* q, std::size_t n) noexcept {
        for (std::size_t i = 0; i < n; ++i) {
            const auto a = static_cast<signed char>(Fold(p[i]));
            const auto b = static_cast<signed char>(Fold(q[i]));
            if (a != b)
                return a < b ? -1 : 1;
        }
        return 0;
    }
    static constexpr const char* find(const char* p, std::size_t n, const char& c) noexcept {
        for (std::size_t i = 0; i < n; ++i)
            if (eq(p[i], c))
                return p + i;
        return nullptr;
    }
};

using ci_string_view = std::basic_string_view<char, ci_char_traits>;

// The system's string for everything compared as HTTP and HTML compare text:
// header names, tag and attribute names, media types, settings keys.
class CIString : public std::basic_string<char, ci_char_traits> {
public:
    using Base = std::basic_string<char, ci_char_traits>;
    using Base::Base;
    using Base::operator=;

    CIString() = default;
    CIString(const Base& other) : Base(other) {}
    CIString(Base&& other) noexcept : Base(std::move(other)) {}
    CIString(const std::string& text) : Base(text.data(), text.size()) {}
    explicit CIString(std::string_view text) : Base(text.data(), text.size()) {}

    // The white-space set used for header values, settings lines and list entries.
    static constexpr const char* kBlanks = " \t\n\r";

    // Replaces the contents with the "%d" text of the number.
    CIString& FromInt(std::int32_t value);
    // atoi of the contents; 0 for empty text or text without leading digits.
    int ToInt() const;
    // Removes the longest prefix (suffix) whose bytes all occur in set; a NUL
    // byte of the string counts as a member of every set.
    CIString& TrimLeft(const char* set = kBlanks);
    CIString& TrimRight(const char* set = kBlanks);
    CIString& Trim(const char* set = kBlanks) { return TrimRight(set).TrimLeft(set); }

    std::string_view View() const noexcept { return {data(), size()}; }
    std::string Str() const { return {data(), size()}; }
    bool StartsWith(ci_string_view prefix) const noexcept {
        return size() >= prefix.size() && compare(0, prefix.size(), prefix) == 0;
    }
};

inline std::ostream& operator<<(std::ostream& out, const CIString& text) {
    return out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// Case-insensitive equality of plain text, for places that hold std::string.
inline bool EqualsNoCase(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && ci_char_traits::compare(a.data(), b.data(), a.size()) == 0;
}

template <> struct std::hash<CIString> {
    std::size_t operator()(const CIString& text) const noexcept {
        std::size_t h = 1469598103934665603ull;
        for (char c : text)
            h = (h ^ static_cast<unsigned char>(ci_char_traits::Fold(c))) * 1099511628211ull;
        return h;
    }
};
