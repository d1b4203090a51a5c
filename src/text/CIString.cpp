#include "text/CIString.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool InSet(char c, const char* set) {
    // The set's own terminating NUL matches a NUL byte of the string.
    return c == '\0' || std::strchr(set, c) != nullptr;
}

} // namespace

CIString& CIString::FromInt(std::int32_t value) {
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%d", value);
    assign(text, static_cast<std::size_t>(n));
    return *this;
}

int CIString::ToInt() const {
    if (empty())
        return 0;
    // atoi needs a terminated string; c_str() is one, and embedded NULs simply
    // end the number as any other non-digit would.
    return std::atoi(c_str());
}

CIString& CIString::TrimLeft(const char* set) {
    size_type n = 0;
    while (n < size() && InSet((*this)[n], set))
        ++n;
    erase(0, n);
    return *this;
}

CIString& CIString::TrimRight(const char* set) {
    size_type n = size();
    while (n > 0 && InSet((*this)[n - 1], set))
        --n;
    erase(n);
    return *this;
}
