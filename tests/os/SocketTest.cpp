#include "os/CException.h"
#include "os/CPersistentSockets.h"
#include "os/CUnixSocket.h"
#include "os/Limits.h"
#include "stats/CStatistic.h"
#include "support/SocketTestSupport.h"
#include "text/CIString.h"

#include <cerrno>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <vector>

using testsupport::LoopbackServer;
using testsupport::ReadFrom;
using testsupport::SocketPair;

namespace {

// A browser-side socket on one end of a socket pair.
// The socket is destroyed after the peer end has closed, so that its close
// does not wait out the drain.
struct Attached {
    CUnixSocket socket;
    SocketPair pair;
    Attached() { socket.Attach(pair.ours); }
};

std::string Line(CUnixSocket& socket) {
    CIString line;
    socket.ReadLine(line, CGenericSocket::kMaxLine, false);
    return line.Str();
}

// Every Read until the end of the data, joined.
std::string ReadBody(CGenericSocket& socket) {
    CBuffer out;
    for (int i = 0; i < 10000 && socket.Read(out) > 0; ++i) {
    }
    return std::string(out.View());
}

} // namespace

TEST(Socket, LineEndingsOfEveryKindReadAsTheSameLines) {
    {
        Attached t;
        t.pair.Write("GET / HTTP/1.1\nHost: a\n\n");
        EXPECT_EQ(Line(t.socket), "GET / HTTP/1.1");
        EXPECT_EQ(Line(t.socket), "Host: a");
        EXPECT_EQ(Line(t.socket), "");
    }
    {
        // "\n\r" line ends, split right after an LF: the CR that opens the
        // next receive still belongs to the previous line.
        Attached t;
        t.pair.Write("GET / HTTP/1.1\n");
        EXPECT_EQ(Line(t.socket), "GET / HTTP/1.1");
        EXPECT_TRUE(t.socket.SkipCR());
        t.pair.Write("\rHost: a\n\r\n\rBODY");
        EXPECT_EQ(Line(t.socket), "Host: a");
        EXPECT_EQ(Line(t.socket), "");
        EXPECT_EQ(t.socket.Input().View(), "BODY");
    }
    {
        // CR LF split between two receives.
        Attached t;
        t.pair.Write("Host: a\r");
        std::promise<std::string> line;
        std::thread reader([&] { line.set_value(Line(t.socket)); });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        t.pair.Write("\nX: y\r\r\n");
        reader.join();
        EXPECT_EQ(line.get_future().get(), "Host: a");
        EXPECT_EQ(Line(t.socket), "X: y"); // every CR before the LF goes
    }
    {
        Attached t;
        t.pair.Write("partial");
        t.pair.ClosePeer();
        EXPECT_THROW(Line(t.socket), CException);
        EXPECT_TRUE(t.socket.EndOfData());
    }
}

TEST(Socket, LineLimitIsExactly4096Bytes) {
    {
        Attached t;
        t.pair.Write(std::string(4096, 'a') + "\nnext\n");
        EXPECT_EQ(Line(t.socket).size(), 4096u);
        EXPECT_EQ(Line(t.socket), "next");
    }
    for (const std::string tail : {"\n", "", "\r\n"}) {
        // 4097 bytes before the LF, whether or not the LF has arrived, and
        // 4096 bytes followed by a CR.
        Attached t;
        t.pair.Write(std::string(tail == "\r\n" ? 4096 : 4097, 'a') + tail);
        try {
            Line(t.socket);
            ADD_FAILURE() << "over-long line accepted";
        } catch (const CHTMLErrException& e) {
            EXPECT_EQ(e.Status(), 400);
            EXPECT_EQ(e.TemplateName(), "badrequest.html");
        }
    }
}

TEST(Socket, ChunkedBodyWithBothHexCasesExtensionsAndTrailer) {
    Attached t;
    t.socket.SetChunkedInput(true);
    t.socket.SetKeepAlive(true);
    const std::string a(26, 'a'), b(0xab, 'b'), c(0xAB, 'c');
    t.pair.Write("1A;name=value\r\n" + a + "\r\nab\r\n" + b + "\r\n");
    t.pair.Write("AB ; x=\"y\"\r\n" + c + "\r\n0\r\nTrailer-One: 1\r\nTrailer-Two: 2\r\n\r\n");
    t.pair.Write("NEXT REQUEST\r\n");
    EXPECT_EQ(ReadBody(t.socket), a + b + c);
    EXPECT_TRUE(t.socket.EndOfData());
    EXPECT_TRUE(t.socket.KeepAlive());
    // The trailer was read to its end and nothing more.
    t.socket.Reset();
    EXPECT_EQ(Line(t.socket), "NEXT REQUEST");
}

TEST(Socket, ChunkFramingThatCouldBeReadTwoWaysIsRefused) {
    const std::string vectors[] = {
        "+5\r\nhello\r\n0\r\n\r\n",                         // sign
        "0x5\r\nhello\r\n0\r\n\r\n",                        // prefix
        " 5\r\nhello\r\n0\r\n\r\n",                         // blank before the digits
        "zz\r\n",                                           // no digits: not a last chunk
        "\r\n5\r\nhello\r\n0\r\n\r\n",                      // empty size line
        "1000000000000000\r\nx",                            // too many digits
        "5 x\r\nhello\r\n0\r\n\r\n",                        // junk after the size
        "5\r\nhelloXX0\r\n\r\n",                            // data not followed by CR LF
        "5\r\nhello\n0\r\n\r\n",                            // bare LF after the data
        "5;a\rb\r\nhello\r\n0\r\n\r\n",                     // bare CR in an extension
        std::string("5;a\0b\r\nhello\r\n0\r\n\r\n", 18),    // NUL in an extension
        "5\r\nhello\r\n" + std::string(5000, '0') + "\r\n", // size line beyond the limit
    };
    // From a browser the request is bad; from a server the body is broken,
    // which must never become an error page inside the body already begun.
    for (const bool server : {false, true}) {
        for (const std::string& wire : vectors) {
            Attached t;
            if (server)
                t.socket.SetTag(CGenericSocket::kTagServer | 1);
            t.socket.SetChunkedInput(true);
            t.pair.Write(wire);
            t.pair.ClosePeer();
            int status = 0;
            try {
                ReadBody(t.socket);
            } catch (const CHTMLErrException& e) {
                status = e.Status();
            } catch (const CException&) {
                status = -1;
            }
            EXPECT_EQ(status, server ? -1 : 400) << wire;
        }
    }
}

TEST(Socket, ChunkedBodyCutOffInsideAChunkFails) {
    Attached t;
    t.socket.SetChunkedInput(true);
    t.pair.Write("10\r\nonly six");
    t.pair.ClosePeer();
    CBuffer out;
    EXPECT_EQ(t.socket.Read(out), 8u);
    EXPECT_THROW(t.socket.Read(out), CException);
}

TEST(Socket, BodyLengthBoundsWhatIsPassedOn) {
    {
        // A server sent 15 bytes for a body of 10: keep-alive off, count 0,
        // and the 5 surplus bytes are not part of the body.
        Attached t;
        t.socket.SetTag(CGenericSocket::kTagServer | 1);
        t.socket.SetKeepAlive(true);
        t.pair.Write("0123456789extra");
        t.socket.Receive(t.socket.Input());
        t.socket.SetBodyBytesLeft(10);
        CBuffer out;
        EXPECT_EQ(t.socket.Read(out), 10u);
        EXPECT_EQ(out.View(), "0123456789");
        EXPECT_EQ(t.socket.BodyBytesLeft(), 0);
        EXPECT_FALSE(t.socket.KeepAlive());
        EXPECT_TRUE(t.socket.EndOfData());
    }
    {
        // Behind a browser's body comes its next request: it stays buffered
        // and the connection stays open.
        Attached t;
        t.socket.SetTag(CGenericSocket::kTagBrowser | 1);
        t.socket.SetKeepAlive(true);
        t.pair.Write("0123456789GET ");
        t.socket.Receive(t.socket.Input());
        t.socket.SetBodyBytesLeft(10);
        CBuffer out;
        EXPECT_EQ(t.socket.Read(out), 10u);
        EXPECT_TRUE(t.socket.KeepAlive());
        EXPECT_EQ(t.socket.Input().View(), "GET ");
    }
    {
        // Received straight into the body: the receive stops at the body's
        // end, so the next message stays for the next read.
        Attached t;
        t.socket.SetKeepAlive(true);
        t.socket.SetBodyBytesLeft(5);
        t.pair.Write("helloNEXT\r\n");
        CBuffer out;
        EXPECT_EQ(t.socket.Read(out), 5u);
        EXPECT_EQ(out.View(), "hello");
        EXPECT_EQ(t.socket.Read(out), 0u);
        EXPECT_TRUE(t.socket.KeepAlive());
        t.socket.Reset();
        EXPECT_EQ(Line(t.socket), "NEXT");
    }
    {
        // The peer closes before the announced length: not a complete body.
        Attached t;
        t.socket.SetBodyBytesLeft(100);
        t.pair.Write("short");
        t.pair.ClosePeer();
        CBuffer out;
        EXPECT_EQ(t.socket.Read(out), 5u);
        EXPECT_THROW(t.socket.Read(out), CException);
    }
    {
        // Without a length the body runs to the close.
        Attached t;
        t.pair.Write("all of it");
        t.pair.ClosePeer();
        EXPECT_EQ(ReadBody(t.socket), "all of it");
        EXPECT_TRUE(t.socket.EndOfData());
    }
    {
        Attached t;
        t.pair.Write("POST / HTTP/1.1\r\n\r\n12345GET /next");
        EXPECT_EQ(Line(t.socket), "POST / HTTP/1.1");
        EXPECT_EQ(Line(t.socket), "");
        t.socket.SetBodyBytesLeft(5);
        CBuffer body;
        EXPECT_EQ(t.socket.TakeBuffered(body), 5u);
        EXPECT_EQ(body.View(), "12345");
        EXPECT_EQ(t.socket.BodyBytesLeft(), 0);
        t.socket.PushBackLine("first line");
        EXPECT_EQ(t.socket.Input().View(), "first line\r\nGET /next");
    }
}

TEST(Socket, SendFramesChunksAndCountsBytes) {
    Attached t;
    t.socket.Reset();
    EXPECT_TRUE(t.socket.NothingSent());
    EXPECT_EQ(t.socket.Send("", 0), 0u); // nothing to send without chunking
    t.socket.SetChunkedOutput(true);
    t.socket.SendText("hello");
    t.socket.SendText(std::string(26, 'z'));
    t.socket.Send(nullptr, 0);
    EXPECT_FALSE(t.socket.NothingSent());
    EXPECT_EQ(t.pair.ReadAvailable(),
              "5\r\nhello\r\n1A\r\n" + std::string(26, 'z') + "\r\n0\r\n\r\n");

    // Pending counts until statistics are attached, then straight into them.
    const std::uint64_t sent = 10 + 4 + 26 + 2 + 5;
    EXPECT_EQ(t.socket.PendingBytes(CGenericSocket::kSentBrowserSide), sent);
    t.pair.Write("abc\n");
    Line(t.socket);
    CStatistic statistic;
    t.socket.AttachStatistics(&statistic);
    EXPECT_EQ(t.socket.PendingBytes(CGenericSocket::kSentBrowserSide), 0u);
    EXPECT_EQ(statistic.ByteCount(CStatistic::BytesSentToClient), sent);
    EXPECT_EQ(statistic.ByteCount(CStatistic::BytesReceivedFromClient), 4u);
    t.socket.SetChunkedOutput(false);
    t.socket.SendText("xy");
    EXPECT_EQ(statistic.ByteCount(CStatistic::BytesSentToClient), sent + 2);

    // The server-side tag bit sends the counts to the server counters.
    t.socket.SetTag(7 | CGenericSocket::kTagServer);
    t.socket.SendText("xyz");
    EXPECT_EQ(statistic.ByteCount(CStatistic::BytesSentToServer), 3u);
}

TEST(Socket, AbortWakesABlockedReceiveAndStopsLaterConnects) {
    Attached t;
    auto reading = std::async(std::launch::async, [&] {
        try {
            Line(t.socket);
            return std::string("line");
        } catch (const CException& e) {
            CIString text;
            e.GetMessage(text);
            return text.Str();
        }
    });
    EXPECT_EQ(reading.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    t.socket.Abort();
    ASSERT_EQ(reading.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(reading.get(), "Socket half closed by other side.");
    // The owner still holds the descriptor until it closes it itself.
    EXPECT_TRUE(t.socket.IsOpen());
    t.socket.Close();
    EXPECT_FALSE(t.socket.IsOpen());

    LoopbackServer server;
    try {
        t.socket.Connect("127.0.0.1", server.Port(), false);
        ADD_FAILURE() << "connected after Abort";
    } catch (const COSErrException& e) {
        EXPECT_EQ(e.OsError(), ECANCELED);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(server.Accepts(), 0);
}

TEST(Socket, CloseDrainsForABoundedTimeOnly) {
    Attached t;
    // A peer that neither closes nor stops sending.
    std::atomic<bool> stop{false};
    std::thread chatter([&] {
        for (int i = 0; i < 2000 && !stop; ++i) {
            t.pair.Write(std::string(512, 'c'));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    t.socket.Close();
    const auto took = std::chrono::steady_clock::now() - start;
    stop = true;
    chatter.join();
    EXPECT_FALSE(t.socket.IsOpen());
    EXPECT_LT(took, std::chrono::seconds(4));
}

TEST(Socket, ServerReadsGiveUpAfterTheReadTimeLimit) {
    LoopbackServer server;
    CUnixSocket socket;
    socket.SetServerReadTimeout(150);
    socket.Connect("127.0.0.1", server.Port(), false);
    EXPECT_EQ(socket.ReadTimeout(), 150);
    socket.SetKeepAlive(true);
    try {
        Line(socket);
        ADD_FAILURE() << "read without a byte did not fail";
    } catch (const COSErrException& e) {
        EXPECT_EQ(e.OsError(), ETIMEDOUT);
    }
    EXPECT_FALSE(socket.KeepAlive());

    // A tunnel waits without limit; a browser-side socket as long as an idle
    // browser connection may stay.
    socket.SetReadTimeout(0);
    EXPECT_EQ(socket.ReadTimeout(), 0);
    Attached browser;
    EXPECT_EQ(browser.socket.ReadTimeout(), Limits::Current().browserIdleMs);
    server.CloseConnection(0);
}

TEST(Socket, ConnectFailuresAndLocalAddress) {
    CUnixSocket socket;
    EXPECT_THROW(socket.Connect("", 80, false), CHTMLErrException);

    int port;
    {
        LoopbackServer closed;
        port = closed.Port();
    }
    try {
        socket.Connect("127.0.0.1", static_cast<std::uint16_t>(port), false);
        ADD_FAILURE() << "connected to a closed port";
    } catch (const COSErrException& e) {
        EXPECT_EQ(e.OsError(), ECONNREFUSED);
    }
    EXPECT_FALSE(socket.IsOpen());

    LoopbackServer server;
    socket.Connect("localhost", server.Port(), false);
    EXPECT_TRUE(socket.IsOpen());
    EXPECT_EQ(socket.PeerAddress(), CNetAddress::FromV4(INADDR_LOOPBACK));
    EXPECT_EQ(socket.PeerPort(), server.Port());
    CIString local;
    socket.GetLocalAddress(local);
    EXPECT_EQ(local, "127.0.0.1");
}

// Every address is tried in turn: a refused IPv4 one gives way to the IPv6
// one that listens, and a bracketed literal is its address.
TEST(Socket, ConnectTriesEveryAddress) {
    const int listener = ::socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        if (listener >= 0)
            ::close(listener);
        GTEST_SKIP() << "no IPv6 loopback";
    }
    ::listen(listener, 4);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const std::uint16_t port = ntohs(address.sin6_port);

    const CNetAddress six = *CNetAddress::Parse("::1");
    CUnixSocket socket;
    socket.ConnectAny({CNetAddress::FromV4(INADDR_LOOPBACK), six}, port, false);
    EXPECT_TRUE(socket.IsOpen());
    EXPECT_EQ(socket.PeerAddress(), six);
    CIString local;
    socket.GetLocalAddress(local);
    EXPECT_EQ(local, "::1");
    socket.Drop(); // nobody accepts: no close to wait for

    socket.Connect("[::1]", port, false);
    EXPECT_EQ(socket.PeerAddress(), six);
    socket.Drop(); // nobody accepts: no close to wait for
    ::close(listener);
    EXPECT_THROW(socket.Connect("[::1", port, false), CHTMLErrException);
}

// A listener whose accept queue is full drops new handshakes: a server that
// does not answer. The next address starts beside it and wins, well within
// the connect limit that the silent one alone would use up; and an abort
// wakes a connect that waits for it.
TEST(Socket, ASilentAddressGivesTheNextItsTurn) {
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in four{};
    four.sin_family = AF_INET;
    four.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof four;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&four), length), 0);
    ::listen(silent, 0);
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&four), &length);
    const int queued = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(::connect(queued, reinterpret_cast<sockaddr*>(&four), length), 0);
    const std::uint16_t port = ntohs(four.sin_port);

    const int answering = ::socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 six{};
    six.sin6_family = AF_INET6;
    six.sin6_addr = in6addr_loopback;
    six.sin6_port = htons(port);
    const bool haveSix = answering >= 0 &&
                         ::bind(answering, reinterpret_cast<sockaddr*>(&six), sizeof six) == 0 &&
                         ::listen(answering, 4) == 0;
    if (haveSix) {
        CUnixSocket socket;
        socket.SetConnectTimeout(5000);
        socket.ConnectAny({CNetAddress::FromV4(INADDR_LOOPBACK), *CNetAddress::Parse("::1")}, port,
                          false);
        EXPECT_EQ(socket.PeerAddress(), *CNetAddress::Parse("::1"));
        socket.Drop(); // nobody accepts: no close to wait for
    }

    CUnixSocket stuck;
    stuck.SetConnectTimeout(20000);
    auto attempt = std::async(std::launch::async, [&stuck, port] {
        try {
            stuck.ConnectAny({CNetAddress::FromV4(INADDR_LOOPBACK)}, port, false);
        } catch (const COSErrException& e) {
            return e.OsError();
        }
        return 0;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stuck.Abort();
    ASSERT_EQ(attempt.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(attempt.get(), ECANCELED);
    if (answering >= 0)
        ::close(answering);
    ::close(queued);
    ::close(silent);
    if (!haveSix)
        GTEST_SKIP() << "no IPv6 loopback: only the abort was tried";
}

TEST(Socket, WaitReadableReportsTheOtherSide) {
    Attached browser;
    Attached server;
    server.pair.Write("data");
    EXPECT_TRUE(browser.socket.WaitReadable(&server.socket, 5));
    browser.pair.Write("x");
    server.socket.Read(server.socket.Input());
    server.socket.Input().Clear();
    EXPECT_FALSE(browser.socket.WaitReadable(&server.socket, 5));
    // Bytes already buffered on the other side count without a poll.
    server.socket.Input().Append("buffered");
    EXPECT_TRUE(browser.socket.WaitReadable(&server.socket, 0));
    // A closed socket fails instead of waiting for ever.
    CUnixSocket closed;
    EXPECT_THROW(closed.WaitReadable(nullptr, 0), COSErrException);
    EXPECT_THROW(closed.Receive(closed.Input()), COSErrException);
}

TEST(Socket, DescriptorsAboveTheSelectLimitWork) {
    // A busy proxy holds well over a thousand descriptors.
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < 1200) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 1200);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    CUnixSocket browser, server;
    SocketPair browserPair, serverPair;
    const int high = ::dup2(serverPair.ours, 1150);
    if (high < 0)
        GTEST_SKIP() << "cannot open descriptor 1150";
    ::close(serverPair.ours);
    browser.Attach(browserPair.ours);
    server.Attach(high);
    serverPair.Write("HTTP/1.1 200 OK\r\n");
    EXPECT_TRUE(browser.WaitReadable(&server, 5));
    server.SetServerReadTimeout(1000);
    server.SetReadTimeout(1000);
    EXPECT_EQ(Line(server), "HTTP/1.1 200 OK");
}

TEST(Socket, HeldHeadLeavesWithTheFirstBlockOrAtFlushAndClose) {
    {
        Attached t;
        t.socket.Hold("HEAD\r\n\r\n");
        EXPECT_FALSE(t.socket.NothingSent());
        EXPECT_EQ(t.pair.ReadAvailable(50), ""); // nothing on the wire yet
        t.socket.Send("body", 4);
        EXPECT_EQ(t.pair.ReadAvailable(), "HEAD\r\n\r\nbody");
    }
    {
        Attached t;
        t.socket.SetChunkedOutput(true);
        t.socket.Hold("H\r\n\r\n");
        t.socket.Send("abc", 3);
        t.socket.Send(nullptr, 0);
        EXPECT_EQ(t.pair.ReadAvailable(), "H\r\n\r\n3\r\nabc\r\n0\r\n\r\n");
    }
    {
        // A head without a body: Flush sends it alone, and Close never loses it.
        Attached t;
        t.socket.Hold("304\r\n\r\n");
        t.socket.Flush();
        EXPECT_EQ(t.pair.ReadAvailable(), "304\r\n\r\n");
        t.socket.Hold("last");
        ::shutdown(t.pair.theirs, SHUT_WR); // so that the close need not wait for the peer
        t.socket.Close();
        EXPECT_EQ(t.pair.ReadAvailable(), "last");
    }
}
