#pragma once

#include <string_view>

// The names the proxy shows of itself: in the User-Agent tag, its pages, its
// version text and the host under which browsers reach its own pages.
namespace product {

inline constexpr std::string_view kName = "Corvane";
inline constexpr std::string_view kVersion = "3.0 final";
// "Corvane 3.0 final"
inline constexpr std::string_view kBanner = "Corvane 3.0 final";
static_assert(kBanner.substr(0, kName.size()) == kName &&
              kBanner.substr(kName.size() + 1) == kVersion);

// What the proxy appends to the first "User-Agent" field of a request.
inline constexpr std::string_view kUserAgentTag = " Corvane 3.0 final";
static_assert(kUserAgentTag.substr(1) == kBanner);

// Requests under this host are the proxy's own (configuration pages, images).
inline constexpr std::string_view kMarkerHost = "-corva.vane-";
// The same host as the proxy writes it into pages (host names compare without case).
inline constexpr std::string_view kMarkerHostWritten = "-Corva.Vane-";

} // namespace product
