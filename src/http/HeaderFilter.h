#pragma once

#include "http/Cookies.h"
#include "washers/CIString.h"

#include <cstdint>
#include <memory>

// Decisions the proxy takes on message heads: the privacy rules on the way to
// the server, the cache-bypass rule, the media-type block and the choice of a
// washer on the way back.
//
// The connection thread calls them in this order:
//   1. FilterRequestHeaders and LimitAcceptEncoding on the request;
//   2. CheckMediaType, for a 200 response when the media filter is on and
//      blocks types from its list (MediaCheckWanted);
//   3. CreateWasherFor (which leaves bodies in a coding the proxy cannot read
//      alone), then PrepareForClient of the response, which applies
//      ApplyCacheBypassRule and FilterCookies(kCookieResponse).

// ---- text rules, independent of messages and settings ----

// The product tag appended to the first "User-Agent" field.
inline constexpr std::string_view kUserAgentTag = " Corvane 3.0 final";

// Whether a referrer must go. mode is one of the three referrer choices; the
// hosts compare case-insensitively, the directories (the path before its last
// '/', query left out) likewise.
enum class ReferrerMode { All, Path, Domain };
bool ReferrerMustGo(ReferrerMode mode, const CIString& refererHost, const CIString& refererPath,
                    const CIString& requestHost, const CIString& requestPath);

// The Accept-Encoding value reduced to the codings the proxy can decode (gzip
// and identity), q-values kept; "identity" when nothing acceptable is left.
CIString ReduceAcceptEncoding(const CIString& value);

// True when a washer can read a body sent with this Content-Encoding value:
// none at all, identity, or gzip (which the server socket inflates).
bool IsWashableContentEncoding(const CIString& value);

// The media filter's answer for one response. listVerdict is the list's
// answer (0 not listed, 1 block, 2 allow); blocked is the outcome.
struct MediaDecision {
    int listVerdict = 0;
    bool blocked = false;
};
// mediaFlags: the media filter's flag word. matchType / matchExtension are the
// list's lookups.
template <class MatchType, class MatchExtension>
MediaDecision DecideMediaType(const CIString& mediaType, const CIString& extension,
                              std::uint32_t mediaFlags, MatchType&& matchType,
                              MatchExtension&& matchExtension);

// Media filter flag bits.
namespace mediabits {
inline constexpr std::uint32_t kEnabled = 1u << 0;
inline constexpr std::uint32_t kLogging = 1u << 1;
inline constexpr std::uint32_t kBlockTypesFromList = 1u << 11;
inline constexpr std::uint32_t kFilterEmbedded = 1u << 12;
inline constexpr std::uint32_t kBlockUnknown = 1u << 14;
inline constexpr std::uint32_t kAllowNoMediaType = 1u << 16;
} // namespace mediabits

// White-list exemption bits of a request.
namespace whitebits {
inline constexpr std::uint32_t kStandard = 1;
inline constexpr std::uint32_t kPrivacy = 2;
inline constexpr std::uint32_t kSecurity = 4;
inline constexpr std::uint32_t kBlocking = 8;
inline constexpr std::uint32_t kAll = 15;
} // namespace whitebits

template <class MatchType, class MatchExtension>
MediaDecision DecideMediaType(const CIString& mediaType, const CIString& extension,
                              std::uint32_t mediaFlags, MatchType&& matchType,
                              MatchExtension&& matchExtension) {
    MediaDecision decision;
    if (!mediaType.empty())
        decision.listVerdict = matchType(mediaType);
    else if (mediaFlags & mediabits::kAllowNoMediaType)
        decision.listVerdict = matchExtension(extension.empty() ? CIString("NULL") : extension);
    else
        decision.listVerdict = 1;
    decision.blocked = decision.listVerdict == 1 ||
                       (decision.listVerdict == 0 && (mediaFlags & mediabits::kBlockUnknown));
    return decision;
}
