#include "web/CInternalStatsHandler.h"

#include "os/CException.h"
#include "os/Paths.h"
#include "settings/CSettings.h"
#include "settings/CSettingsCache.h"
#include "stats/CStatistic.h"
#include "text/Vocabulary.h"
#include "web/BuiltInPages.h"
#include "web/CWebConfig.h"
#include "web/InternalRequest.h"

#include <algorithm>
#include <utility>

CInternalStatsHandler::CInternalStatsHandler() : CInternalStatsHandler(paths::FilesDir()) {}

CInternalStatsHandler::CInternalStatsHandler(std::string directory)
    : m_directory(std::move(directory)) {}

CInternalStatsHandler::Reset CInternalStatsHandler::ResetOf(std::string_view value) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '+'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '+'))
        value.remove_suffix(1);
    if (EqualsNoCase(value, "yes"))
        return Reset::Yes;
    if (EqualsNoCase(value, "no"))
        return Reset::No;
    return Reset::Ask;
}

void CInternalStatsHandler::HandleRequest(const CSettings& settings, InternalRequest& request) {
    CIString value;
    std::string user = settings.UserName();
    if (request.GetParameter(CIString("UserID"), value))
        user = value.View();
    if (!CWebConfig::IsAcceptableUser(user))
        throw errors::BadRequest();
    bool usingDefault = false;
    if (!CWebConfig::CheckAccess(request, user, usingDefault))
        return;

    int refresh = 0;
    if (request.GetParameter(CIString("refresh"), value) && !value.empty())
        refresh = std::max(0, value.ToInt());

    CSettingsCache* cache = CSettingsCache::Current();
    CStatistic* statistic = cache ? cache->GetStatistic(user) : settings.Statistic();

    const char* page = "cvstats.html";
    if (request.GetParameter(CIString("reset"), value)) {
        refresh = 0;
        switch (ResetOf(value.View())) {
        case Reset::Yes:
            // Browsers resend the password with any link to here, so only
            // the proxy's own confirmation page (named as the Referer, which
            // a GET form sends) resets; a link from elsewhere, or one that
            // hides where it comes from, is asked about again.
            if (request.Message().GetHeader(vocab::kHdrReferer, value) &&
                CWebConfig::IsSameSite(request)) {
                page = "cvstatsreset2.html";
                if (statistic != nullptr)
                    statistic->Reset();
            } else {
                page = "cvstatsreset1.html";
            }
            break;
        case Reset::No:
        case Reset::None:
            break;
        case Reset::Ask:
            page = "cvstatsreset1.html";
            break;
        }
    }

    std::string type;
    CIString bytes = LoadFilesPage(m_directory, page, type);
    if (type == "text/html")
        ExpandPageTags(bytes, user, refresh, statistic);
    request.BeginResponse(200, type);
    request.AddResponseHeader(CIString("Pragma"), CIString("no-cache"));
    request.SendResponse(bytes.View());
}
