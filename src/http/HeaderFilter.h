#pragma once

#include "http/Cookies.h"
#include "text/CIString.h"

#include <cstdint>
#include <memory>

class CBuffer;
class CConnInfo;
class CSettings;
class CWasher;

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

// ---- the filters on messages ----

// The cookie settings of a group: its cookie list, the built-in list unless
// switched off, the lifetime limit.
CookieRules GetCookieRules(const CSettings& settings);
int GetCookieType(const CSettings& settings, const CIString& domain);

// Judges the "Cookie" fields of a request (kCookieRequest) or the
// "Set-Cookie" fields of a response (kCookieResponse); domain is the request's
// host. Counts FilteredCookies, GoodCookies and SentCookies in the settings'
// statistics. The switches are the caller's to test.
void FilterCookies(CConnInfo& message, const CSettings& settings, CookieDirection direction,
                   const CIString& domain, std::time_t now = std::time(nullptr));

// The response step of the cookie filter, with its switches: Privacy.Enabled
// and CookieFilter.Enabled on, the privacy exemption bit clear.
void FilterResponseCookies(CConnInfo& response, const CSettings& settings,
                           const CIString& requestHost);

// The privacy rules on a request (cookies, referrer) and the User-Agent tag.
// Running it again on the same request changes nothing more.
void FilterRequestHeaders(CConnInfo& request, const CSettings& settings);

// True when some filter that a washer works for is on for this request, so
// that a body may have to be read by the proxy.
bool WasherCouldEngage(const CSettings& settings, std::uint32_t filterFlags);

// When a washer could engage, reduces the request's "Accept-Encoding" to the
// codings the proxy can decode, so that a body it must wash comes readable.
// Returns true when the field was changed.
bool LimitAcceptEncoding(CConnInfo& request, const CSettings& settings);

// Removes the cache validators and directives of a response when
// ProxyEngine.PreventCacheBypass is on.
void ApplyCacheBypassRule(CConnInfo& message, const CSettings& settings);

// Whether CheckMediaType must be asked about this response: status 200 and the
// media filter on with blocking from its list.
bool MediaCheckWanted(const CConnInfo& response, const CSettings& settings);

// Returns when the response may pass; counts BlockedMediatypes and throws
// errors::MediaTypeBlocked() when it is blocked. With logging on, every
// decision goes to the security log.
void CheckMediaType(const CIString& mediaType, const CSettings& settings, const CConnInfo& request);

// A new washer for the response body, or null when the body passes unchanged.
std::unique_ptr<CWasher> CreateWasher(const CIString& mediaType, const CSettings& settings,
                                      CBuffer& body, const CConnInfo& request);

// True when no "Content-Encoding" of the response stands in a washer's way:
// none, identity, or a single gzip, which the server socket inflates.
bool ContentEncodingWashable(const CConnInfo& response);

// CreateWasher for a response, which never engages a washer on a body in a
// coding the proxy cannot decode: such a body passes unchanged.
std::unique_ptr<CWasher> CreateWasherFor(const CConnInfo& response, const CSettings& settings,
                                         CBuffer& body, const CConnInfo& request);
