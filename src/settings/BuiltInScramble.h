#pragma once

// The scramble of encoded built-in tables, shared by the program and by the
// generator that writes the tables at build time. Header-only on purpose: the
// generator is built before the library.
//
// An entry is two decimal digits of length n followed by n bytes. Byte i of the
// text is shifted within 1..255 by a key that runs a small congruential sequence
// seeded by the length and mixed with the previous text byte, so no scrambled
// byte is NUL and equal texts at different places of an entry look different.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace builtin::scramble {

inline constexpr std::size_t kMaxEntry = 99;

inline std::uint8_t NextKey(std::uint8_t& state, std::uint8_t previous) {
    state = static_cast<std::uint8_t>(state * 109u + 89u);
    return static_cast<std::uint8_t>(state + previous * 7u);
}

inline std::uint8_t Seed(std::size_t length) {
    return static_cast<std::uint8_t>(0x5Au ^ (length * 29u));
}

// Returns false when text is too long or holds a NUL byte.
inline bool Encode(std::string_view text, std::string& out) {
    if (text.size() > kMaxEntry)
        return false;
    out.clear();
    out.push_back(static_cast<char>('0' + text.size() / 10));
    out.push_back(static_cast<char>('0' + text.size() % 10));
    std::uint8_t state = Seed(text.size());
    std::uint8_t previous = 0;
    for (char ch : text) {
        const auto plain = static_cast<std::uint8_t>(ch);
        if (plain == 0)
            return false;
        const std::uint8_t key = NextKey(state, previous);
        out.push_back(static_cast<char>((plain - 1u + key) % 255u + 1u));
        previous = plain;
    }
    return true;
}

inline bool Decode(std::string_view entry, std::string& out) {
    out.clear();
    if (entry.size() < 2 || entry[0] < '0' || entry[0] > '9' || entry[1] < '0' || entry[1] > '9')
        return false;
    const std::size_t length = static_cast<std::size_t>((entry[0] - '0') * 10 + (entry[1] - '0'));
    if (entry.size() < 2 + length)
        return false;
    std::uint8_t state = Seed(length);
    std::uint8_t previous = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const auto coded = static_cast<std::uint8_t>(entry[2 + i]);
        if (coded == 0)
            return false;
        const std::uint8_t key = NextKey(state, previous);
        const auto plain = static_cast<std::uint8_t>((coded - 1u + 255u - key % 255u) % 255u + 1u);
        out.push_back(static_cast<char>(plain));
        previous = plain;
    }
    return true;
}

} // namespace builtin::scramble
