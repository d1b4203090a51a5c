#include "washers/WasherFactory.h"

#include "http/CConnInfo.h"
#include "http/HeaderFilter.h"
#include "os/CGZIPEncoding.h"
#include "settings/CSetWhiteList.h"
#include "settings/CSettings.h"
#include "text/Vocabulary.h"
#include "washers/CGIFWasher.h"
#include "washers/CHTMLWasher.h"

#include <array>

namespace washers {

namespace {

// One kind of washer: its acceptance test and how to make one. A kind's
// Accepts may count what it saw (ImagesReceived), so each is asked at most once.
struct WasherKind {
    bool (*accepts)(const CIString& mediaType, const CConnInfo& response,
                    const WasherContext& context);
    std::unique_ptr<CWasher> (*create)(WasherContext context);
};

// In the order they are asked: the HTML washer first, then the GIF washer.
constexpr std::array kKinds{
    WasherKind{&CHTMLWasher::Accepts, &CHTMLWasher::Create},
    WasherKind{[](const CIString& mediaType, const CConnInfo&, const WasherContext& context) {
                   return CGIFWasher::Accepts(mediaType, context);
               },
               &CGIFWasher::Create},
};

} // namespace

bool CouldEngage(const CSettings& settings, std::uint32_t whiteFlags) {
    if (whiteFlags == kWhiteAll)
        return false;
    return settings.GetBool(CSettings::kStandardFilterEnabled) ||
           settings.IsOn(CSettings::kProxyEnginePreventCacheBypass) ||
           (settings.IsOn(CSettings::kPrivacyEnabled) &&
            settings.IsOn(CSettings::kPrivacyWebBugFilterEnabled)) ||
           (settings.IsOn(CSettings::kMediaFilterEnabled) &&
            settings.IsOn(CSettings::kMediaFilterFilterEmbedded));
}

bool ContentEncodingWashable(const CConnInfo& response) {
    const auto [first, last] = response.Headers().equal_range(vocab::kHdrContentEncoding);
    int fields = 0;
    bool gzip = false;
    for (auto it = first; it != last; ++it, ++fields) {
        if (!IsWashableContentEncoding(it->second))
            return false;
        gzip = gzip || IsGzipEncoding(it->second.View());
    }
    // The socket inflates only a body whose one coding field says gzip; beside
    // other fields (even a second gzip) the body would reach the washer encoded.
    return !gzip || fields == 1;
}

std::unique_ptr<CWasher> CreateWasher(const CIString& mediaType, const CConnInfo& response,
                                      WasherContext context) {
    for (const WasherKind& kind : kKinds)
        if (kind.accepts(mediaType, response, context))
            return kind.create(std::move(context));
    return nullptr;
}

std::unique_ptr<CWasher> CreateWasherFor(const CConnInfo& response, WasherContext context) {
    if (!ContentEncodingWashable(response))
        return nullptr;
    CIString mediaType;
    response.GetMediaType(mediaType);
    return CreateWasher(mediaType, response, std::move(context));
}

} // namespace washers
