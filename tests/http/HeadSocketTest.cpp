#include "support/HeadLines.h"
#include "support/LoopbackPair.h"

#include "os/CBuffer.h"
#include "os/CException.h"
#include "support/SocketTestSupport.h"

#include <string>

#include <gtest/gtest.h>

TEST(HeadOnSocket, RequestSetsBrowserSocketFraming) {
    LoopbackPair pair;
    pair.Write("GET http://www.example.com:81/x HTTP/1.1\r\nHost: www.example.com\n"
               "Proxy-Connection: keep-alive\r\nContent-Length: 3\r\n\r\nabc");
    CConnInfo request(1);
    request.ParseHead(pair.socket, CConnInfo::kParseRequest);
    EXPECT_TRUE(pair.socket.ProxyStyle());
    EXPECT_TRUE(pair.socket.KeepAlive());
    EXPECT_FALSE(pair.socket.ChunkedInput());
    EXPECT_EQ(pair.socket.BodyBytesLeft(), 3);
    EXPECT_EQ(request.LocalAddress(), "127.0.0.1");
    EXPECT_EQ(request.Port(), 81);

    CBuffer body;
    EXPECT_EQ(pair.socket.TakeBuffered(body), 3u);
    EXPECT_EQ(body.View(), "abc");
    EXPECT_EQ(pair.socket.BodyBytesLeft(), 0);

    // Parsing only leaves the socket's values alone.
    pair.socket.Reset();
    pair.Write("POST / HTTP/1.0\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n");
    request.Reset();
    request.ParseHead(pair.socket, CConnInfo::kParseRequest | CConnInfo::kParseOnly);
    EXPECT_FALSE(pair.socket.ChunkedInput());
    EXPECT_FALSE(pair.socket.ProxyStyle());
    EXPECT_TRUE(request.GetFraming().chunked);
    EXPECT_EQ(request.Host(), "h");
}

TEST(HeadOnSocket, BadLineIsPutBack) {
    LoopbackPair pair;
    pair.Write("BOGUS\r\n");
    CConnInfo request;
    try {
        request.ParseHead(pair.socket, CConnInfo::kParseRequest);
        FAIL() << "no error";
    } catch (const CHTMLErrException& e) {
        EXPECT_EQ(e.Status(), 400);
        EXPECT_EQ(e.TemplateName(), "badrequest.html");
    }
    EXPECT_EQ(pair.socket.Input().View(), "BOGUS\r\n");
}

TEST(HeadOnSocket, InterimThenFinalResponse) {
    LoopbackPair server;
    server.Write("HTTP/1.1 100 Continue\r\n\r\n"
                 "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    CConnInfo response;
    response.ParseHead(server.socket, CConnInfo::kParseResponse, CConnInfo::kMethodPost);
    ASSERT_TRUE(response.IsInterimResponse());
    EXPECT_EQ(server.socket.BodyBytesLeft(), 0);

    // The final head still reads although the interim one had no body.
    response.Reset();
    response.ParseHead(server.socket, CConnInfo::kParseResponse, CConnInfo::kMethodPost);
    EXPECT_EQ(response.Status(), 200);
    EXPECT_EQ(server.socket.BodyBytesLeft(), 2);
    CBuffer body;
    EXPECT_EQ(server.socket.Read(body), 2u);
    EXPECT_EQ(body.View(), "ok");
}

TEST(HeadOnSocket, HeadResponseHasNoBody) {
    LoopbackPair server;
    server.Write("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\nHTTP/1.1 204 No Content\r\n\r\n");
    CConnInfo response;
    response.ParseHead(server.socket, CConnInfo::kParseResponse, CConnInfo::kMethodHead);
    EXPECT_EQ(server.socket.BodyBytesLeft(), 0);
    EXPECT_TRUE(server.socket.KeepAlive());
    EXPECT_FALSE(response.HasBody());
    response.Reset();
    response.ParseHead(server.socket, CConnInfo::kParseResponse, CConnInfo::kMethodGet);
    EXPECT_EQ(response.Status(), 204);
}

TEST(HeadOnSocket, WriteHeadSendsOneHead) {
    LoopbackPair pair;
    CConnInfo request =
        ParseLines({"GET http://h:8080/p HTTP/1.0", "Host: h:8080"}, CConnInfo::kParseRequest);
    request.SetUpstreamProxy("proxy", 3128);
    const long sent = request.WriteHead(pair.socket);
    const std::string expected = "GET http://h:8080/p HTTP/1.1\r\nHost: h:8080\r\n\r\n";
    EXPECT_EQ(sent, static_cast<long>(expected.size()));
    EXPECT_EQ(pair.SentByProxy(), expected);
}

namespace {

// What becomes of a head as it comes off the wire: the status of the error
// (400 for a browser's, 502 for a server's), or the head as it is forwarded.
std::string Verdict(const std::string& wire, int mode) {
    CUnixSocket socket;
    testsupport::SocketPair peer(true);
    socket.Attach(peer.ours);
    peer.Write(wire);
    ::shutdown(peer.theirs, SHUT_WR);
    CConnInfo info;
    try {
        info.ParseHead(socket, mode, CConnInfo::kMethodGet);
    } catch (const CHTMLErrException& e) {
        return std::to_string(e.Status());
    } catch (const CException&) {
        return "cut";
    }
    return info.BuildHead().Str();
}

struct WireCase {
    std::string wire;
    std::string verdict;
};

void ExpectVerdicts(std::initializer_list<WireCase> cases, int mode) {
    for (const WireCase& c : cases)
        EXPECT_EQ(Verdict(c.wire, mode), c.verdict) << testing::PrintToString(c.wire);
}

} // namespace

TEST(HeadOnSocket, RequestFieldLinesThatCouldBeReadTwoWaysAreRefused) {
    const std::string line = "GET http://h/ HTTP/1.1\r\n";
    ExpectVerdicts(
        {
            {line + "Host : h\r\n\r\n", "400"},
            {line + "X\tY: 1\r\n\r\n", "400"},
            {line + ": empty name\r\n\r\n", "400"},
            {line + "No colon at all\r\n\r\n", "400"},
            {line + "X: a\r\n b\r\n\r\n", "400"},                  // folding
            {line + " Transfer-Encoding: chunked\r\n\r\n", "400"}, // blank before the first
            {line + "X: a\rb\r\n\r\n", "400"},                     // bare CR
            {line + std::string("X: a\0b\r\n\r\n", 10), "400"},    // NUL
            {line + "X: a\x01\r\n\r\n", "400"},
            {line + "X: a\x7f\r\n\r\n", "400"},
            {line + "X: a\tb\xc3\xa9\r\n\r\n",
             "GET / HTTP/1.1\r\nHost: h\r\nX: a\tb\xc3\xa9\r\n\r\n"},
            {line + "A\r\nContent-Length: 5\r\n\r\n", "400"}, // a short line ends no head
        },
        CConnInfo::kParseRequest);
}

TEST(HeadOnSocket, RequestLinesAndPortsAreReadOneWayOnly) {
    ExpectVerdicts(
        {
            {"GET  http://h/ HTTP/1.1\r\n\r\n", "400"},
            {"GET http://h/  HTTP/1.1\r\n\r\n", "400"},
            {"GET\thttp://h/ HTTP/1.1\r\n\r\n", "400"},
            {"GET http://h/ HTTP/1.1 \r\n\r\n", "400"},
            {" GET http://h/ HTTP/1.1\r\n\r\n", "400"},
            {"G(T http://h/ HTTP/1.1\r\n\r\n", "400"},
            {"GET http://h/ HTTP/1.10\r\n\r\n", "400"},
            {"GET http://h/ HTTP/11.1\r\n\r\n", "400"},
            {"GET http://h/ HTTP/1\r\n\r\n", "400"},
            {"GET http://h/a\x01 HTTP/1.1\r\n\r\n", "400"},
            {"GET http://127.0.0.1:94336/ HTTP/1.1\r\n\r\n", "400"},
            {"GET http://h:0/ HTTP/1.1\r\n\r\n", "400"},
            {"GET http://h:+80/ HTTP/1.1\r\n\r\n", "400"},
            {"GET http://h:8O/ HTTP/1.1\r\n\r\n", "400"},
            {"GET http://h:/ HTTP/1.1\r\n\r\n", "400"},
            {"GET http://h:080/ HTTP/1.1\r\n\r\n", "GET / HTTP/1.1\r\nHost: h:80\r\n\r\n"},
            {"GET http://h:65535/ HTTP/1.0\r\n\r\n", "GET / HTTP/1.1\r\nHost: h:65535\r\n\r\n"},
            {"GET / HTTP/1.1\r\nHost: h:65536\r\n\r\n", "400"},
            {"GET / HTTP/1.1\r\nHost: h:-1\r\n\r\n", "400"},
            {"CONNECT h:4430000 HTTP/1.1\r\n\r\n", "400"},
            {"CONNECT h:443x HTTP/1.1\r\n\r\n", "400"},
            {"CONNECT h HTTP/1.1\r\n\r\n", "400"},
            {"PURGE http://h/ HTTP/1.1\r\n\r\n", "PURGE / HTTP/1.1\r\nHost: h\r\n\r\n"},
        },
        CConnInfo::kParseRequest);
}

TEST(HeadOnSocket, ResponseHeadsThatCouldBeReadTwoWaysFailTheAttempt) {
    ExpectVerdicts(
        {
            {"\r\nHTTP/1.1 200 OK\r\n\r\n", "502"}, // an empty line before the status line
            {" HTTP/1.1 200 OK\r\n\r\n", "502"},
            {"HTTP/1.1 2OO OK\r\n\r\n", "502"},
            {"HTTP/1.1 -1 OK\r\n\r\n", "502"},
            {"HTTP/1.1 4294967496 OK\r\n\r\n", "502"},
            {"HTTP/1.1 099 Low\r\n\r\n", "502"},
            {"HTTP/1.1 600 High\r\n\r\n", "502"},
            {"HTTP/1.1  200 OK\r\n\r\n", "502"},
            {"HTTP/1.1 200OK\r\n\r\n", "502"},
            {"HTTP/1.12 200 OK\r\n\r\n", "502"},
            {"HTTP/1.1 200 O\x01K\r\n\r\n", "502"},
            {"GARBAGE\r\n\r\n", "502"},
            {"HTTP/1.1 200\r\n\r\n", "HTTP/1.1 200 OK\r\n\r\n"},
            {"HTTP/1.1 599 Odd one\r\n\r\n", "HTTP/1.1 599 Odd one\r\n\r\n"},
            // Field lines.
            {"HTTP/1.1 200 OK\r\nContent-Length : 5\r\n\r\n", "502"},
            {"HTTP/1.1 200 OK\r\nNo colon\r\n\r\n", "502"},
            {"HTTP/1.1 200 OK\r\nX: a\rb\r\n\r\n", "502"},
            {"HTTP/1.1 200 OK\r\nX: a\r\n  b\r\n\tc\r\n\r\n",
             "HTTP/1.1 200 OK\r\nX: a b c\r\n\r\n"},
            // Lengths.
            {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n", "502"},
            {"HTTP/1.1 200 OK\r\nContent-Length: 5, 6\r\n\r\n", "502"},
            {"HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n", "502"},
            {"HTTP/1.1 200 OK\r\nContent-Length: 0x10\r\n\r\n", "502"},
            {"HTTP/1.1 200 OK\r\nContent-Length: 1\r\n 000\r\n\r\n", "502"},
            {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 5, 5\r\n\r\n",
             "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n"},
            {"HTTP/1.1 304 Not Modified\r\nContent-Length: 5, 6\r\n\r\n",
             "HTTP/1.1 304 Not Modified\r\nContent-Length: 5, 6\r\n\r\n"}, // no body to frame
            // Chunks with a length: the chunks decide.
            {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n",
             "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"},
            {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\n\r\n", "502"},
            {"HTTP/1.1 200 OK\r\nTransfer-Encoding: xchunked\r\n\r\n", "502"},
        },
        CConnInfo::kParseResponse);

    // A server that framed a body both ways is not asked again.
    LoopbackPair server;
    server.Write("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n");
    CConnInfo response;
    response.ParseHead(server.socket, CConnInfo::kParseResponse, CConnInfo::kMethodGet);
    EXPECT_TRUE(server.socket.ChunkedInput());
    EXPECT_FALSE(server.socket.KeepAlive());
}
