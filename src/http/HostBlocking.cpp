#include "http/HostBlocking.h"

#include "http/CConnInfo.h"
#include "os/CException.h"
#include "settings/CHostList.h"
#include "settings/CSettings.h"
#include "stats/CSecurityLog.h"
#include "stats/CStatistic.h"

#include <string>

namespace {

// The advertising URL lists' verdict on a host, as IsListedURL gives it for a
// URL: the built-in list first, unless switched off, then the user's.
// The deciding entry and the list's key go to entry and list.
bool ListedHost(const CSettings& settings, std::string_view host, CIString& entry,
                std::string_view& list) {
    int verdict = 0;
    if (!settings.IsOn(CSettings::kURLFilterDisableBuiltIn)) {
        verdict = settings.BuiltInURLList().MatchHost(host, &entry);
        if (verdict == 2)
            return false;
        list = "INTERN.URLDomainList";
    }
    CIString userEntry;
    const int user = settings.URLList().MatchHost(host, &userEntry);
    if (user != 0) {
        verdict = user;
        entry = userEntry;
        list = "ImageFilter.URLList";
    }
    return verdict == 1;
}

} // namespace

void CheckBlockedHost(const CConnInfo& request, const CSettings& settings, const CHostList* hosts) {
    const bool tunnel = request.Method() == CConnInfo::kMethodConnect;
    const std::string_view host = request.Host().View();
    CHostList::Hit hit;
    CIString listedEntry;
    bool blocked = false;
    if (settings.GetBool(CSettings::kHostFilterEnabled) && hosts != nullptr)
        blocked = hosts->Blocks(host, &hit);
    if (!blocked && tunnel && settings.GetBool(CSettings::kHostFilterCheckTunnels) &&
        ListedHost(settings, host, listedEntry, hit.list)) {
        blocked = true;
        hit.entry = listedEntry.View();
    }
    if (!blocked)
        return;

    if (CStatistic* statistic = settings.Statistic())
        statistic->Increment(CStatistic::BlockedRequests);
    const CIString& blockTo = settings.GetString(CSettings::kAccessControlBlockTo);
    const bool redirect = !tunnel && !blockTo.empty();
    CSecurityLog::Record record;
    record.firstLine = request.FirstLine().View();
    record.status = redirect ? 301 : 403;
    record.kind = CSecurityLog::Host;
    record.verdict = CSecurityLog::Removed;
    record.address = hit.entry;
    record.list = hit.list;
    CSecurityLog::Instance().Write(record);

    if (redirect)
        throw CRedirectException(blockTo);
    throw errors::RequestBlocked();
}
