// A chunked body as it comes from a browser or a server, in pieces of any
// size. A body read to its end is sent again with the proxy's own chunked
// framing, which must read back to the same bytes; a body that is refused
// must be refused the same way from either side (a bad request from a
// browser, a broken body from a server: never an error page inside it).
#include "MemorySocket.h"
#include "os/CException.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

enum class Outcome { Whole, Refused, Broken, Cut };

Outcome ReadAll(std::string_view wire, std::size_t step, bool server, std::string& body) {
    MemorySocket socket(wire, step);
    if (server)
        socket.SetTag(CGenericSocket::kTagServer | 1);
    socket.SetChunkedInput(true);
    CBuffer out;
    try {
        // Every Read brings at least one byte, so the input bounds the loop.
        for (std::size_t i = 0; i <= wire.size() + 1; ++i) {
            if (socket.Read(out) == 0) {
                body.assign(out.View());
                return socket.EndOfData() ? Outcome::Whole : Outcome::Cut;
            }
        }
        std::abort(); // a Read that never ends
    } catch (const CHTMLErrException& error) {
        if (error.Status() != 400)
            std::abort();
        return Outcome::Refused;
    } catch (const CException& error) {
        return error.Serial() == CException::HalfClosed().Serial() ? Outcome::Cut : Outcome::Broken;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::size_t step = 1 + data[0] % 32;
    const std::string_view wire(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string browserBody, serverBody;
    const Outcome browser = ReadAll(wire, step, false, browserBody);
    const Outcome server = ReadAll(wire, step, true, serverBody);
    if ((browser == Outcome::Refused) != (server == Outcome::Broken) ||
        server == Outcome::Refused || browser == Outcome::Broken)
        std::abort();
    if (browser == Outcome::Whole) {
        if (server != Outcome::Whole || serverBody != browserBody ||
            browserBody.size() > wire.size())
            std::abort();
        // Written again as the proxy forwards it.
        MemorySocket sink("", 1);
        sink.SetChunkedOutput(true);
        if (!browserBody.empty())
            sink.Send(browserBody.data(), static_cast<std::uint32_t>(browserBody.size()));
        sink.Send(nullptr, 0);
        std::string again;
        if (ReadAll(sink.Sent(), 4096, false, again) != Outcome::Whole || again != browserBody)
            std::abort();
    }
    return 0;
}
