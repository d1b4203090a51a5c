#pragma once

#include "text/CIString.h"
#include "washers/CWasher.h"

#include <cstdint>
#include <memory>

class CConnInfo;
class CSettings;

// The choice of a washer for a response body. The washer kinds are asked in a
// fixed order, the HTML washer first and the GIF washer second; the first that
// accepts washes the body, and one washer per response is the most there is.
namespace washers {

// True when the HTML washer could engage for a request of this group with
// these white-list bits: some filter that works on HTML is on. The GIF
// washer's conditions are narrower still, so this also decides whether a body
// may have to be read by the proxy (the Accept-Encoding reduction).
bool CouldEngage(const CSettings& settings, std::uint32_t whiteFlags);

// True when no "Content-Encoding" of the response stands in a washer's way:
// none, identity, or a single gzip.
bool ContentEncodingWashable(const CConnInfo& response);

// A new washer for a body of this media type, or null when it passes unchanged.
std::unique_ptr<CWasher> CreateWasher(const CIString& mediaType, const CConnInfo& response,
                                      WasherContext context);

// CreateWasher for a response, which never engages a washer on a body in a
// coding the proxy cannot decode: such a body passes unchanged.
std::unique_ptr<CWasher> CreateWasherFor(const CConnInfo& response, WasherContext context);

} // namespace washers
