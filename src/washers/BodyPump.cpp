#include "washers/BodyPump.h"

#include "os/CBuffer.h"

#include <algorithm>

namespace washers {

namespace {

void Release(CBuffer& body, std::uint32_t n, const BodySink& sink, PumpResult& result) {
    n = std::min(n, body.Size());
    if (n == 0)
        return;
    sink(std::string_view(body.Data(), n));
    result.bytesSent += n;
    body.Consume(n);
}

} // namespace

PumpResult PumpBody(CWasher& washer, CBuffer& body, const BodySource& source,
                    const BodySink& sink) {
    PumpResult result;
    for (;;) {
        if (!source(body)) {
            result.sourceEnded = true;
            break;
        }
        const WashResult washed = washer.Wash(false);
        Release(body, washed.ready, sink, result);
        if (washed.stop) {
            // The washer has all it needs: what it left in the buffer goes as it is.
            Release(body, body.Size(), sink, result);
            body.Clear(0);
            return result;
        }
    }
    washer.Wash(true);
    Release(body, body.Size(), sink, result);
    body.Clear(0);
    return result;
}

} // namespace washers
