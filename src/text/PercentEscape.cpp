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
