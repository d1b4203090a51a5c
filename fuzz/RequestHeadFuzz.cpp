// A browser's request head, as it comes off the wire in pieces of any size:
// whatever the parser accepts and the proxy would forward (a request-URI that
// names a host), it forwards as BuildHead writes it, to a server directly or
// to an upstream proxy; either head must be one the parser accepts again and
// reads the same (same head written, same body framing). A head that reads
// differently the second time is one a server could read differently. The
// request-URI that the lists judge is spelled once and for all: parsed again,
// it reads the same.
#include "MemorySocket.h"
#include "http/CConnInfo.h"
#include "os/CException.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool Parse(std::string_view wire, std::size_t step, CConnInfo& info, CConnInfo::Framing& framing) {
    MemorySocket socket(wire, step);
    try {
        info.ParseHead(socket, CConnInfo::kParseRequest);
    } catch (const CException&) {
        return false;
    }
    framing = info.GetFraming();
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::size_t step = 1 + data[0] % 16;
    const std::string_view wire(reinterpret_cast<const char*>(data + 1), size - 1);
    CConnInfo first;
    CConnInfo::Framing framing;
    // The proxy adds its own fields (Host, Connection): a head at the very
    // bounds grows past them, as it would towards any server.
    if (!Parse(wire, step, first, framing) || first.Type() != CConnInfo::kTypeRequest ||
        !framing.proxyStyle || first.Headers().size() + 2 > CConnInfo::kMaxHeaderLines ||
        first.HeadSize() + 8192 > CConnInfo::kMaxHeadBytes)
        return 0;
    // The URL that the lists judge is in its one spelling already: a request
    // for it is judged by that same text.
    CIString method;
    first.GetMethodName(method);
    CConnInfo respelled;
    CConnInfo::Framing unused;
    const std::string line = std::string(method.View()) + " " +
                             std::string(first.RequestUri().View()) + " HTTP/1.1\r\n\r\n";
    if (Parse(line, 4096, respelled, unused) && respelled.RequestUri() != first.RequestUri())
        std::abort();
    for (const bool upstream : {false, true}) {
        // A direct tunnel sends no head at all.
        if (!upstream && first.Method() == CConnInfo::kMethodConnect)
            continue;
        first.SetUpstreamProxy(upstream ? CIString("proxy") : CIString(), 3128);
        const CIString head = first.BuildHead();
        // Escaping the path can make the request line longer than any line
        // read here: a server refuses that as too long, which is no desync.
        if (head.find("\r\n") >= CConnInfo::kMaxLineLength)
            continue;
        CConnInfo second;
        CConnInfo::Framing again;
        if (!Parse(head.View(), 4096, second, again))
            std::abort(); // the proxy forwarded what it would refuse
        second.SetUpstreamProxy(first.ProxyHost(), 3128);
        if (second.BuildHead() != head || again.chunked != framing.chunked ||
            again.bodyBytesLeft != framing.bodyBytesLeft)
            std::abort();
    }
    return 0;
}
