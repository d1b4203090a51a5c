#include "os/Limits.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace {

// A plain positive decimal number that fits an int; 0 for anything else.
int PositiveNumber(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value <= 0)
        return 0;
    return value;
}

} // namespace

const Limits& Limits::Current() {
    static const Limits current = [] {
        const char* text = std::getenv("CORVAND_LIMITS");
        return text != nullptr ? Parse(text, Limits{}) : Limits{};
    }();
    return current;
}

Limits Limits::Parse(std::string_view text, Limits base) {
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view pair = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view name = pair.substr(0, equals);
        const int value = PositiveNumber(pair.substr(equals + 1));
        if (value == 0)
            continue;
        if (name == "head")
            base.requestHeadMs = value;
        else if (name == "idle")
            base.browserIdleMs = value;
        else if (name == "stall")
            base.sendStallMs = value;
        else if (name == "server")
            base.serverReadMs = value;
        else if (name == "interim")
            base.maxInterim = value;
        else if (name == "connections")
            base.maxConnections = value;
    }
    return base;
}

std::uint32_t Limits::ConnectionBound(std::uint64_t openFiles) {
    if (openFiles <= kReservedFiles + kFilesPerConnection)
        return 1;
    const std::uint64_t fit = (openFiles - kReservedFiles) / kFilesPerConnection;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(fit, kMaxConnectionsCap));
}
