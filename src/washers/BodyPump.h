#pragma once

#include "washers/CWasher.h"

#include <cstdint>
#include <functional>
#include <string_view>

class CBuffer;

// The loop that streams a body through a washer, free of sockets so that the
// connection thread and the tests drive the same code.
namespace washers {

struct PumpResult {
    std::int64_t bytesSent = 0; // bytes handed to the sink
    bool sourceEnded = false;   // the source ran dry (false: the washer stopped it)
};

// Appends the next block of the body to the buffer; false when the body has
// ended (nothing appended).
using BodySource = std::function<bool(CBuffer& body)>;
// Takes washed bytes for the browser.
using BodySink = std::function<void(std::string_view bytes)>;

// Feeds every block of source into body (the washer's buffer) and washer, and
// gives what the washer releases to sink, following the contract in CWasher.h.
// The buffer is empty afterwards.
PumpResult PumpBody(CWasher& washer, CBuffer& body, const BodySource& source, const BodySink& sink);

} // namespace washers
