// A server's response head in pieces of any size: whatever the parser
// accepts is written back with WriteHead's text, which must parse again to
// the same head and the same body framing. The first byte picks the piece
// size and whether the request was a HEAD.
#include "MemorySocket.h"
#include "http/CConnInfo.h"
#include "os/CException.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool Parse(std::string_view wire, std::size_t step, CConnInfo::HttpMethod method, CConnInfo& info) {
    MemorySocket socket(wire, step);
    socket.SetTag(CGenericSocket::kTagServer | 1);
    try {
        info.ParseHead(socket, CConnInfo::kParseResponse, method);
    } catch (const CException&) {
        return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::size_t step = 1 + data[0] % 16;
    const auto method = (data[0] & 0x80) ? CConnInfo::kMethodHead : CConnInfo::kMethodGet;
    const std::string_view wire(reinterpret_cast<const char*>(data + 1), size - 1);
    CConnInfo first;
    if (!Parse(wire, step, method, first))
        return 0;
    if (first.Status() < 100 || first.Status() > 599)
        std::abort();
    const CIString head = first.BuildHead();
    CConnInfo second;
    if (!Parse(head.View(), 4096, method, second))
        std::abort();
    const CConnInfo::Framing& a = first.GetFraming();
    const CConnInfo::Framing& b = second.GetFraming();
    if (second.BuildHead() != head || a.chunked != b.chunked || a.bodyBytesLeft != b.bodyBytesLeft)
        std::abort();
    return 0;
}
