#include "support/HeadLines.h"
#include "support/LoopbackPair.h"

#include "os/CBuffer.h"

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
