#include "text/PercentEscape.h"

CIString PercentEscape(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    CIString out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 33 || b > 126) {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0f];
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

CIString DecodeUnreserved(std::string_view text) {
    const auto unreserved = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.' || c == '_' || c == '~';
    };
    CIString out;
    out.reserve(text.size());
    // A digit that would complete an escape with a stray '%' before it
    // ("%%33" is not "%3") stays escaped, so that decoding once is enough.
    const auto completesEscape = [&out](char c) {
        const std::size_t n = out.size();
        return HexDigitValue(c) >= 0 &&
               ((n >= 1 && out[n - 1] == '%') ||
                (n >= 2 && out[n - 2] == '%' && HexDigitValue(out[n - 1]) >= 0));
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexDigitValue(text[i + 1]);
            const int low = HexDigitValue(text[i + 2]);
            const char c = static_cast<char>(high * 16 + low);
            if (high >= 0 && low >= 0 && unreserved(c) && !completesEscape(c)) {
                out += c;
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}
