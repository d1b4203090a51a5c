#include "washers/AdVerdicts.h"

#include "http/CConnInfo.h"
#include "settings/CSettings.h"

namespace washers {

namespace {

// The directory of a path: everything up to and including its last '/'.
ci_string_view Directory(const CIString& path) {
    const auto slash = path.rfind('/');
    return slash == CIString::npos ? ci_string_view() : ci_string_view(path.data(), slash + 1);
}

} // namespace

CConnInfo SplitURL(std::string_view url) {
    CConnInfo parts;
    parts.ParseURL(CIString(url), false);
    return parts;
}

bool IsListedURL(const CSettings& settings, std::string_view url, const CConnInfo* page,
                 int* verdict) {
    int answer = kNotListed;
    if (!settings.IsOn(CSettings::kURLFilterDisableBuiltIn)) {
        answer = settings.BuiltInURLList().Match(url);
        if (answer == kDontFilter)
            return false;
    }
    const int user = settings.URLList().Match(url);
    if (user != kNotListed)
        answer = user;

    // Only a built-in hit is exempted on the page's own server; the user's
    // entries hold everywhere.
    if (answer == kListed && user == kNotListed && settings.IsOn(CSettings::kOptionsNotWithin) &&
        page != nullptr) {
        const CConnInfo parts = SplitURL(url);
        if (parts.Host() == page->Host()) {
            if (!settings.IsOn(CSettings::kOptionsNotWithinPath))
                answer = kDontFilter;
            else if (const ci_string_view dir = Directory(page->Path());
                     !dir.empty() && parts.Path().StartsWith(dir))
                answer = kDontFilter;
        }
    }

    if (verdict != nullptr)
        *verdict = answer;
    return answer == kListed;
}

bool IsBannerSize(const CSettings& settings, const CConnInfo& page, int width, int height,
                  std::string_view imageUrl) {
    if (!settings.DimensionList().Contains(width, height))
        return false;
    if (settings.IsOn(CSettings::kDimFilterSameServer) || imageUrl.empty())
        return true;
    const CConnInfo parts = SplitURL(imageUrl);
    if (parts.Host().empty() || parts.Host() != page.Host())
        return true;
    return settings.IsOn(CSettings::kURLFilterEnabled) &&
           settings.IsOn(CSettings::kURLFilterImages) && IsListedURL(settings, imageUrl, nullptr);
}

} // namespace washers
