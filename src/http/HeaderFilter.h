#pragma once

#include "http/Cookies.h"
#include "settings/CSettings.h"
#include "text/CIString.h"
#include "text/Product.h"

#include <cstdint>
#include <memory>

class CConnInfo;

// Decisions the proxy takes on message heads: the privacy rules on the way to
// the server, the cache-bypass rule, the media-type block and the choice of a
// washer on the way back.
//
// The connection thread calls them in this order:
//   1. FilterRequestHeaders and LimitAcceptEncoding on the request;
//   2. CheckMediaType, for a 200 response when the media filter is on and
//      blocks types from its list (MediaCheckWanted);
//   3. after the washer choice (washers/WasherFactory), the framing of the
//      response (CConnInfo::PrepareForClient), then FilterResponseHeaders:
//      ApplyCacheBypassRule and FilterCookies(kCookieResponse).

// ---- text rules, independent of messages and settings ----

// The product tag appended to the first "User-Agent" field.
inline constexpr std::string_view kUserAgentTag = product::kUserAgentTag;

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

template <class MatchType, class MatchExtension>
MediaDecision DecideMediaType(const CIString& mediaType, const CIString& extension,
                              std::uint32_t mediaFlags, MatchType&& matchType,
                              MatchExtension&& matchExtension) {
    MediaDecision decision;
    if (!mediaType.empty())
        decision.listVerdict = matchType(mediaType);
    else if (mediaFlags & CSettings::kMediaFilterAllowNoMediaType.Mask())
        decision.listVerdict = matchExtension(extension.empty() ? CIString("NULL") : extension);
    else
        decision.listVerdict = 1;
    decision.blocked =
        decision.listVerdict == 1 ||
        (decision.listVerdict == 0 && (mediaFlags & CSettings::kMediaFilterBlockUnknown.Mask()));
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

// The rules on a response on its way to the browser: the cache-bypass rule
// and the response step of the cookie filter.
void FilterResponseHeaders(CConnInfo& response, const CSettings& settings,
                           const CConnInfo& request);

// The privacy rules on a request (cookies, referrer) and the User-Agent tag.
// Running it again on the same request changes nothing more.
void FilterRequestHeaders(CConnInfo& request, const CSettings& settings);

// Reduces the request's "Accept-Encoding" to the codings the proxy can
// decode, so that a body it must wash comes readable; the caller asks this
// only when a washer could engage. Returns true when the field was changed.
bool LimitAcceptEncoding(CConnInfo& request);

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
