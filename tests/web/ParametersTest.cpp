#include "support/LoopbackPair.h"
#include "support/SocketTestSupport.h"

#include "http/CConnInfo.h"
#include "os/CException.h"
#include "web/InternalDispatch.h"
#include "web/InternalRequest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs AllOf(const InternalRequest& context) {
    Pairs out;
    for (const auto& [name, value] : context.Parameters())
        out.emplace_back(name.Str(), value.Str());
    return out;
}

// Parses the parameters of a request read from a loopback connection.
Pairs Parse(std::string_view bytes) {
    LoopbackPair pair;
    pair.socket.SetReadTimeout(2000); // a body shorter than announced fails, never hangs
    pair.Write(bytes);
    CConnInfo request;
    request.ParseHead(pair.socket, CConnInfo::kParseRequest);
    CIString query;
    InternalRequestName(request.Path(), query);
    InternalRequest context(pair.socket, request);
    ParseParameters(pair.socket, context, query);
    return AllOf(context);
}

int StatusOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const CHTMLErrException& error) {
        return error.Status();
    }
    return 0;
}

} // namespace

TEST(Parameters, FormBodyAndQueryDecodeDifferently) {
    // A form body's trailing CR LF is not part of the last value; '+' is a
    // blank there, but stays a plus in a query.
    EXPECT_EQ(Parse("POST /conf HTTP/1.1\r\nContent-Length: 16\r\n\r\n"
                    "a=x+y%21&b=%2B\r\n"),
              (Pairs{{"a", "x y!"}, {"b", "+"}}));
    EXPECT_EQ(Parse("GET /conf?a=x+y%21&b=%2b HTTP/1.1\r\n\r\n"),
              (Pairs{{"a", "x+y!"}, {"b", "+"}}));
    // A bare LF ends a body too; a lone CR before it goes as well.
    EXPECT_EQ(Parse("POST /conf HTTP/1.1\r\nContent-Length: 4\r\n\r\nq=1\n"), (Pairs{{"q", "1"}}));

    // An empty body leaves the query in charge, decoded as a query.
    EXPECT_EQ(Parse("POST /conf?m=a+b HTTP/1.1\r\nContent-Length: 2\r\n\r\n\r\n"),
              (Pairs{{"m", "a+b"}}));
    // A body in chunks is read as the head framed it.
    EXPECT_EQ(Parse("POST /conf HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
                    "4\r\nk=v&\r\n5\r\nl=w+w\r\n0\r\n\r\n"),
              (Pairs{{"k", "v"}, {"l", "w w"}}));
    // A body the head announced neither by length nor by chunks is none:
    // the connection stays open and nothing waits for it.
    EXPECT_EQ(Parse("POST /conf?only=query HTTP/1.1\r\n\r\n"), (Pairs{{"only", "query"}}));
}

TEST(Parameters, PiecesNamesAndEscapes) {
    // A repeated name is kept each time, in order, with or without a value.
    EXPECT_EQ(Parse("GET /x?n&n=v&N=w HTTP/1.1\r\n\r\n"),
              (Pairs{{"n", ""}, {"n", "v"}, {"N", "w"}}));
    // Names stand as they are; empty pieces count; the first '=' splits.
    EXPECT_EQ(Parse("GET /x?a%20b=1&&=e&k=a=b& HTTP/1.1\r\n\r\n"),
              (Pairs{{"", ""}, {"", "e"}, {"a%20b", "1"}, {"k", "a=b"}}));
    // No text at all, no parameters.
    EXPECT_EQ(Parse("GET /x HTTP/1.1\r\n\r\n"), Pairs{});
    EXPECT_EQ(Parse("GET /x? HTTP/1.1\r\n\r\n"), Pairs{});

    EXPECT_EQ(DecodeParameterValue("%41%62%7e%00", false).Str(), std::string("Ab~\0", 4));
    // An escape cut short or without hex digits stays as it was written.
    EXPECT_EQ(DecodeParameterValue("100%", false), "100%");
    EXPECT_EQ(DecodeParameterValue("%4", false), "%4");
    EXPECT_EQ(DecodeParameterValue("%zz+", true), "%zz ");
}

TEST(Parameters, BodyReadIsBounded) {
    // An announced length over the bound is refused before anything is read.
    EXPECT_EQ(StatusOf([] { Parse("POST /conf HTTP/1.1\r\nContent-Length: 2000000\r\n\r\nab"); }),
              400);

    // Chunks that never end are refused once the bound is passed.
    CUnixSocket socket; // destroyed after the pair: its close finds the peer gone
    testsupport::SocketPair pair;
    socket.Attach(pair.ours);
    socket.SetReadTimeout(2000);
    pair.Write("POST /conf HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n");
    CConnInfo request;
    request.ParseHead(socket, CConnInfo::kParseRequest);

    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const std::string chunk = "10000\r\n" + std::string(0x10000, 'a') + "\r\n";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::size_t done = 0;
        while (!stop && std::chrono::steady_clock::now() < deadline) {
            pollfd p{pair.theirs, POLLOUT, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = ::send(pair.theirs, chunk.data() + done, chunk.size() - done,
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EAGAIN)
                break;
            if (n > 0)
                done = (done + static_cast<std::size_t>(n)) % chunk.size();
        }
    });
    InternalRequest context(socket, request);
    EXPECT_EQ(StatusOf([&] { ParseParameters(socket, context, ""); }), 400);
    stop = true;
    writer.join();
    EXPECT_TRUE(context.Parameters().empty());
}
