#pragma once

#include "http/CConnInfo.h"

#include <string_view>

class CSettings;

// The two questions that both washers ask of an image or a link: is this URL
// an advertising URL, and is an image of this size a banner. They depend only
// on the group's settings and lists and on the page that asks.
namespace washers {

// Verdicts of IsListedURL, as the URL lists answer them.
enum ListedVerdict : int {
    kNotListed = 0,
    kListed = 1,
    kDontFilter =
        2, // the user's list says don't filter, or a built-in hit on the page's own server
};

// True when url (absolute) is an advertising URL. The built-in list is asked
// first, unless switched off, and its don't-filter entries end the question;
// an entry of the user's list overrides it. A built-in hit on the server of
// page (when given) is exempted under Options.NotWithin, and with
// Options.NotWithinPath only when the URL lies in the page's directory. The
// verdict, when asked for, receives the answer unless a built-in
// don't-filter entry decided.
// Host, path and extension of url as the request parser splits it.
CConnInfo SplitURL(std::string_view url);

bool IsListedURL(const CSettings& settings, std::string_view url, const CConnInfo* page,
                 int* verdict = nullptr);

// True when an image of width x height at imageUrl (absolute, may be empty)
// on page is a banner to remove: its size is listed and it comes from
// another server, or DimFilter.SameServer is on, or it is URL-listed.
bool IsBannerSize(const CSettings& settings, const CConnInfo& page, int width, int height,
                  std::string_view imageUrl);

} // namespace washers
