// Requests that hide a second request in their body, and answers that could
// be read to two different ends, sent through the real daemon to an origin
// that records everything it receives.

#include "e2e/Daemon.h"
#include "support/Browser.h"
#include "support/Origin.h"

#include <gtest/gtest.h>

using namespace e2e;

TEST(SmugglingE2E, NothingHiddenInABodyReachesTheOriginAsARequest) {
    Origin origin;
    ProxyDaemon proxy;
    ASSERT_TRUE(proxy.Ready());
    const std::string host = "Host: " + HostOf(origin.Url("/")) + "\r\n";
    const std::string hidden = "GET " + origin.Url("/smuggled") + " HTTP/1.1\r\n" + host + "\r\n";
    const std::string post = "POST " + origin.Url("/front") + " HTTP/1.1\r\n" + host;
    const std::string length = "Content-Length: " + std::to_string(5 + hidden.size()) + "\r\n";
    struct Case {
        std::string wire;
        int status; // what the browser is answered
    };
    const Case cases[] = {
        // Chunks win over the length, and the connection closes after the answer.
        {post + "Content-Length: 4\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n" + hidden, 200},
        {post + length + "Transfer-Encoding : chunked\r\n\r\n0\r\n\r\n" + hidden, 400},
        {post + length + "X: y\r\n Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n" + hidden, 400},
        {post + length + "X: y\rTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n" + hidden, 400},
        {post + "Transfer-Encoding: chunked\r\n\r\n0x5\r\nhello\r\n0\r\n\r\n" + hidden, 400},
        {post + "Transfer-Encoding: chunked\r\n\r\n5\r\nhelloXX0\r\n\r\n" + hidden, 400},
        {post + "Transfer-Encoding: chunked\r\n\r\n5;a\rb\r\nhello\r\n0\r\n\r\n" + hidden, 400},
        {post + "Content-Length: 5\r\nContent-Length: 6\r\n\r\nhello" + hidden, 400},
        {"GET " + origin.Url("/front") + "  HTTP/1.1\r\n" + host + "\r\n" + hidden, 400},
    };
    for (const Case& c : cases) {
        Browser browser(proxy.Port());
        ASSERT_TRUE(browser.Send(c.wire));
        EXPECT_EQ(browser.Read().status, c.status) << c.wire;
        EXPECT_TRUE(browser.ClosedByPeer()) << c.wire;
    }
    for (const OriginRequest& request : origin.Requests())
        EXPECT_NE(request.Target(), "/smuggled") << request.head;
}

TEST(SmugglingE2E, AnAnswerThatReadsTwoWaysIsNotRelayed) {
    Origin origin;
    ProxyDaemon proxy;
    ASSERT_TRUE(proxy.Ready());
    const std::string poison = "HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\npoison!";
    const std::string answers[] = {
        "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 9\r\n\r\nok" + poison,
        "HTTP/1.1 200 OK\r\nContent-Length: 2, 9\r\n\r\nok" + poison,
        "\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
        "HTTP/1.1 2OO OK\r\nContent-Length: 2\r\n\r\nok",
        "HTTP/1.1 200 OK\r\nContent-Length : 2\r\n\r\nok" + poison,
    };
    for (const std::string& answer : answers) {
        origin.Queue(Reply::Raw(answer, true));
        Browser browser(proxy.Port());
        ASSERT_TRUE(browser.Get(origin.Url("/page")));
        const Response response = browser.Read();
        EXPECT_EQ(response.status, 502) << answer;
        EXPECT_EQ(response.body.find("poison"), std::string::npos);
        EXPECT_TRUE(browser.ClosedByPeer()) << answer;
    }

    // Chunks and a length from a server: read by the chunks, the length not
    // passed on, and the server connection not used again.
    origin.Queue(Reply::Raw("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: "
                            "chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n"));
    Browser browser(proxy.Port());
    ASSERT_TRUE(browser.Get(origin.Url("/both")));
    const Response both = browser.Read();
    EXPECT_EQ(both.status, 200);
    EXPECT_EQ(both.body, "ok");
    EXPECT_FALSE(both.Has("Content-Length"));
    const int accepts = origin.Accepts();
    ASSERT_TRUE(browser.Get(origin.Url("/next")));
    EXPECT_EQ(browser.Read().status, 200);
    EXPECT_EQ(origin.Accepts(), accepts + 1);

    // The browser's Upgrade stays with the proxy. A server that switches all
    // the same fails the attempt, and its connection, silent now, serves no
    // later request.
    origin.Queue(Reply::Raw("HTTP/1.1 101 Switching Protocols\r\nUpgrade: h2c\r\n"
                            "Connection: Upgrade\r\n\r\n"));
    Browser upgrade(proxy.Port());
    ASSERT_TRUE(upgrade.Get(origin.Url("/upgrade"), "Upgrade: h2c\r\nConnection: Upgrade\r\n"));
    EXPECT_EQ(upgrade.Read().status, 502);
    EXPECT_EQ(origin.Requests().back().Count("Upgrade"), 0);
    const int switched = origin.Accepts();
    Browser later(proxy.Port());
    ASSERT_TRUE(later.Get(origin.Url("/later")));
    EXPECT_EQ(later.Read().status, 200);
    EXPECT_EQ(origin.Accepts(), switched + 1);

    // A chunk size that does not parse cuts the answer: no last chunk.
    origin.Queue(
        Reply::Raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\nzz\r\n", true));
    Browser cut(proxy.Port());
    ASSERT_TRUE(cut.Get(origin.Url("/cut")));
    const Response broken = cut.Read();
    EXPECT_EQ(broken.status, 200);
    EXPECT_FALSE(broken.complete);
    EXPECT_EQ(broken.body.find("Corvane"), std::string::npos); // no error page inside
}
