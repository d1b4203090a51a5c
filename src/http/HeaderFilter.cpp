#include "http/HeaderFilter.h"

#include "http/CConnInfo.h"
#include "os/CException.h"
#include "os/CGZIPEncoding.h"
#include "settings/CSettings.h"
#include "stats/CSecurityLog.h"
#include "stats/CStatistic.h"
#include "text/Vocabulary.h"

#include <cstdlib>
#include <iterator>

namespace {

// The directory of a path: the text before its last '/'. The query does not
// belong to it, since a '/' inside a query names no directory.
std::string_view Directory(const CIString& path) {
    std::string_view view = path.View();
    if (const auto query = view.find('?'); query != std::string_view::npos)
        view = view.substr(0, query);
    const auto slash = view.rfind('/');
    return slash == std::string_view::npos ? std::string_view{} : view.substr(0, slash);
}

std::string_view TrimView(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The q-value of one Accept-Encoding element ("gzip;q=0.5"); 1 when none is given.
double QValue(std::string_view params) {
    while (!params.empty()) {
        const auto semi = params.find(';');
        const std::string_view param = TrimView(params.substr(0, semi));
        params = semi == std::string_view::npos ? std::string_view{} : params.substr(semi + 1);
        if (param.size() >= 2 && (param[0] == 'q' || param[0] == 'Q')) {
            const std::string_view rest = TrimView(param.substr(1));
            if (!rest.empty() && rest[0] == '=')
                return std::atof(std::string(TrimView(rest.substr(1))).c_str());
        }
    }
    return 1.0;
}

} // namespace

bool ReferrerMustGo(ReferrerMode mode, const CIString& refererHost, const CIString& refererPath,
                    const CIString& requestHost, const CIString& requestPath) {
    if (mode == ReferrerMode::All)
        return true;
    if (refererHost != requestHost)
        return true;
    return mode == ReferrerMode::Path &&
           !EqualsNoCase(Directory(refererPath), Directory(requestPath));
}

CIString ReduceAcceptEncoding(const CIString& value) {
    CIString reduced;
    bool usable = false;
    std::string_view rest = value.View();
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        const std::string_view element = TrimView(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);

        const auto semi = element.find(';');
        const std::string_view coding = TrimView(element.substr(0, semi));
        if (!EqualsNoCase(coding, "gzip") && !EqualsNoCase(coding, "identity"))
            continue;
        if (semi == std::string_view::npos || QValue(element.substr(semi + 1)) > 0)
            usable = true;
        if (!reduced.empty())
            reduced += ", ";
        reduced.append(element.data(), element.size());
    }
    // Every body can be sent unencoded; say so when nothing else is left.
    return usable ? reduced : CIString("identity");
}

bool IsWashableContentEncoding(const CIString& value) {
    // gzip only as the server socket recognises it for inflating.
    const std::string_view coding = TrimView(value.View());
    return coding.empty() || EqualsNoCase(coding, "identity") || IsGzipEncoding(value.View());
}

// ---- the filters on messages ----

namespace {

const CIString& HdrCookie() {
    static const CIString name("Cookie");
    return name;
}
const CIString& HdrSetCookie() {
    static const CIString name("Set-Cookie");
    return name;
}

void Count(const CSettings& settings, CStatistic::Event event) {
    if (CStatistic* statistic = settings.Statistic())
        statistic->Increment(event);
}

bool PrivacyRulesApply(const CSettings& settings, std::uint32_t filterFlags) {
    return settings.IsOn(CSettings::kPrivacyEnabled) && !(filterFlags & kWhitePrivacy);
}

void FilterReferrer(CConnInfo& request, const CSettings& settings) {
    CIString referer;
    if (!request.GetHeader(vocab::kHdrReferer, referer) || referer.empty())
        return;
    ReferrerMode mode = ReferrerMode::Domain;
    if (settings.IsOn(CSettings::kPrivacyNoReferrer))
        mode = ReferrerMode::All;
    else if (settings.IsOn(CSettings::kPrivacyNoReferrerPath))
        mode = ReferrerMode::Path;

    CConnInfo from;
    from.ParseURL(referer, false);
    if (ReferrerMustGo(mode, from.Host(), from.Path(), request.Host(), request.Path()))
        request.RemoveHeader(vocab::kHdrReferer);
}

void TagUserAgent(CConnInfo& request) {
    auto& headers = request.Headers();
    const auto it = headers.find(vocab::kHdrUserAgent);
    if (it == headers.end())
        return;
    // A request filtered again for another connection attempt keeps one tag.
    const std::string_view value = it->second.View();
    if (value.size() >= kUserAgentTag.size() &&
        value.substr(value.size() - kUserAgentTag.size()) == kUserAgentTag)
        return;
    it->second.append(kUserAgentTag.data(), kUserAgentTag.size());
}

} // namespace

CookieRules GetCookieRules(const CSettings& settings) {
    CookieRules rules;
    const CSetCookieList& user = settings.CookieList();
    rules.userLookup = [&user](const CIString& host) { return user.Lookup(host.View()); };
    if (!settings.IsOn(CSettings::kCookieFilterDisableBuiltIn)) {
        const CSetCookieList& builtIn = settings.BuiltInCookieList();
        rules.builtInLookup = [&builtIn](const CIString& host) {
            return builtIn.Lookup(host.View());
        };
    }
    rules.defaultType = user.DefaultManner();
    rules.expireBySession = settings.IsOn(CSettings::kCookieFilterExpireBySession);
    rules.expireHours = settings.GetInt(CSettings::kCookieFilterExpireHours);
    rules.expireMins = settings.GetInt(CSettings::kCookieFilterExpireMins);
    return rules;
}

int GetCookieType(const CSettings& settings, const CIString& domain) {
    return GetCookieType(GetCookieRules(settings), domain);
}

void FilterCookies(CConnInfo& message, const CSettings& settings, CookieDirection direction,
                   const CIString& domain, std::time_t now) {
    const CookieRules rules = GetCookieRules(settings);
    const CIString& name = direction == kCookieRequest ? HdrCookie() : HdrSetCookie();
    auto& headers = message.Headers();
    CIString value, newValue;
    for (auto pos = headers.begin(); message.FindNextHeader(name, value, pos);) {
        if (direction == kCookieResponse && value.empty()) {
            ++pos;
            continue;
        }
        switch (ClassifyCookie(rules, direction, domain, value, newValue, now)) {
        case kCookieRemove:
            pos = headers.erase(pos);
            Count(settings, CStatistic::FilteredCookies);
            break;
        case kCookieReplace:
            pos->second = newValue;
            ++pos;
            Count(settings, CStatistic::FilteredCookies);
            break;
        case kCookieKeep:
            ++pos;
            Count(settings,
                  direction == kCookieRequest ? CStatistic::SentCookies : CStatistic::GoodCookies);
            break;
        }
    }
}

void FilterResponseCookies(CConnInfo& response, const CSettings& settings,
                           const CIString& requestHost) {
    if (PrivacyRulesApply(settings, response.FilterFlags()) &&
        settings.IsOn(CSettings::kCookieFilterEnabled))
        FilterCookies(response, settings, kCookieResponse, requestHost);
}

void FilterResponseHeaders(CConnInfo& response, const CSettings& settings,
                           const CConnInfo& request) {
    ApplyCacheBypassRule(response, settings);
    FilterResponseCookies(response, settings, request.Host());
}

void FilterRequestHeaders(CConnInfo& request, const CSettings& settings) {
    if (PrivacyRulesApply(settings, request.FilterFlags())) {
        if (settings.IsOn(CSettings::kCookieFilterEnabled))
            FilterCookies(request, settings, kCookieRequest, request.Host());
        if (settings.IsOn(CSettings::kPrivacyNoReferrerEnabled))
            FilterReferrer(request, settings);
    }
    if (!settings.IsOn(CSettings::kProxyEngineDoNotModifyUserAgent))
        TagUserAgent(request);
}

bool LimitAcceptEncoding(CConnInfo& request) {
    auto& headers = request.Headers();
    const auto [first, last] = headers.equal_range(vocab::kHdrAcceptEncoding);
    if (first == last)
        return false;
    CIString all;
    for (auto it = first; it != last; ++it) {
        if (!all.empty())
            all += ", ";
        all += it->second;
    }
    const CIString reduced = ReduceAcceptEncoding(all);
    if (std::next(first) == last && reduced == first->second)
        return false;
    request.RemoveHeader(vocab::kHdrAcceptEncoding);
    request.AddHeader(vocab::kHdrAcceptEncoding, reduced);
    return true;
}

void ApplyCacheBypassRule(CConnInfo& message, const CSettings& settings) {
    if (!settings.IsOn(CSettings::kProxyEnginePreventCacheBypass))
        return;
    for (const CIString* name :
         {&vocab::kHdrAge, &vocab::kHdrCacheControl, &vocab::kHdrExpires, &vocab::kHdrIfMatch,
          &vocab::kHdrIfModifiedSince, &vocab::kHdrIfNoneMatch, &vocab::kHdrIfRange,
          &vocab::kHdrIfUnmodifiedSince, &vocab::kHdrPragma})
        message.RemoveHeader(*name);
}

bool MediaCheckWanted(const CConnInfo& response, const CSettings& settings) {
    return response.Status() == 200 && settings.IsOn(CSettings::kMediaFilterEnabled) &&
           settings.IsOn(CSettings::kMediaFilterBlockTypesFromList);
}

void CheckMediaType(const CIString& mediaType, const CSettings& settings,
                    const CConnInfo& request) {
    if (request.FilterFlags() & kWhiteSecurity)
        return;
    const std::uint32_t flags = settings.FlagWord(CSettings::Word::MediaFilter);
    const CSetMediaTypes& list = settings.MediaTypes();
    const MediaDecision decision = DecideMediaType(
        mediaType, request.Extension(), flags,
        [&list](const CIString& type) { return list.MatchType(type.View()); },
        [&list](const CIString& extension) { return list.MatchExtension(extension.View()); });

    if (flags & CSettings::kMediaFilterLogging.Mask()) {
        CSecurityLog::Record record;
        record.firstLine = request.FirstLine().View();
        record.kind = CSecurityLog::MediaType;
        record.mediaType = mediaType.View();
        record.extension = request.Extension().View();
        if (decision.blocked) {
            record.status = 415;
            record.verdict = CSecurityLog::Removed;
        } else {
            record.status = 200;
            record.verdict =
                decision.listVerdict == 2 ? CSecurityLog::Allowed : CSecurityLog::NotListed;
        }
        CSecurityLog::Instance().Write(record);
    }
    if (decision.blocked) {
        Count(settings, CStatistic::BlockedMediatypes);
        throw errors::MediaTypeBlocked();
    }
}
