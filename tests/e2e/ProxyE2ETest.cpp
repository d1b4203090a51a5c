// The relay through the real daemon: framing towards both sides, keep-alive,
// the server connection pool, tunnels and the proxy's own error answers.

#include "e2e/Daemon.h"
#include "support/Browser.h"
#include "support/Origin.h"

#include <gtest/gtest.h>
#include <set>

using namespace e2e;
using namespace std::chrono_literals;

namespace {

std::string Repeat(std::string_view piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

const std::string kLongBody = Repeat("0123456789abcdefghijklmnopqrstuvwxyz\n", 200);

// Answers by path: framings, interim responses, echoes.
Reply ByPath(const OriginRequest& request) {
    const std::string target = request.Target();
    const bool head = request.RequestLine().rfind("HEAD ", 0) == 0;
    if (target == "/chunked")
        return Reply::Chunked(kLongBody, {1, 15, 700, 3}, "", "X-Trailer: t\r\n");
    if (target == "/until-close")
        return Reply::UntilClose(kLongBody);
    if (target == "/head-with-length" && head)
        return Reply::Raw(
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1000\r\n\r\n");
    if (target == "/head-without-length" && head)
        return Reply::Raw("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n");
    if (target == "/echo")
        return Reply::Text(200, "echo:" + request.body);
    if (target == "/continue") {
        Reply reply = Reply::Text(200, "done:" + request.body);
        reply.pieces.insert(reply.pieces.begin(), "HTTP/1.1 100 Continue\r\n\r\n");
        reply.pause = 50ms;
        return reply;
    }
    if (target == "/continue-together") {
        Reply reply = Reply::Text(200, "done:" + request.body);
        reply.pieces.front().insert(0, "HTTP/1.1 100 Continue\r\nX-Interim: 1\r\n\r\n");
        return reply;
    }
    return Reply::Text(200, "origin:" + target);
}

// The requests the origin received for a target.
std::vector<OriginRequest> RequestsFor(const Origin& origin, const std::string& target) {
    std::vector<OriginRequest> found;
    for (const auto& request : origin.Requests())
        if (request.Target() == target)
            found.push_back(request);
    return found;
}

} // namespace

TEST(ProxyE2E, KeepAliveRelayAndResponseFraming) {
    Origin origin(ByPath);
    ProxyDaemon proxy;
    ASSERT_TRUE(proxy.Ready());

    Browser browser(proxy.Port());
    ASSERT_TRUE(browser.Get(origin.Url("/first"), "User-Agent: TestBrowser/1.0\r\n"));
    Response first = browser.Read();
    ASSERT_TRUE(first.complete) << first.head;
    EXPECT_EQ(first.StatusLine(), "HTTP/1.1 200 OK");
    EXPECT_EQ(first.body, "origin:/first");
    EXPECT_EQ(first.Header("Content-Length"), "13");
    EXPECT_EQ(first.Header("Proxy-Connection"), "keep-alive");

    // The origin sees a request in origin form, with the proxy's own
    // connection field and the product tag in User-Agent.
    ASSERT_TRUE(origin.WaitForRequests(1));
    const OriginRequest upstream = origin.Requests().front();
    EXPECT_EQ(upstream.RequestLine(), "GET /first HTTP/1.1");
    EXPECT_EQ(upstream.Header("Host"), HostOf(origin.Url("/")));
    EXPECT_EQ(upstream.Header("Connection"), "keep-alive");
    EXPECT_EQ(upstream.Count("Proxy-Connection"), 0);
    EXPECT_EQ(upstream.Header("User-Agent"), "TestBrowser/1.0 Corvane 3.0 final");

    // A second request on the same browser connection.
    ASSERT_TRUE(browser.Get(origin.Url("/second")));
    const Response second = browser.Read();
    EXPECT_EQ(second.status, 200);
    EXPECT_EQ(second.body, "origin:/second");

    // A chunked body is relayed whole, re-chunked, trailer and extensions
    // dropped; the connection goes on.
    ASSERT_TRUE(browser.Get(origin.Url("/chunked")));
    const Response chunked = browser.Read();
    ASSERT_TRUE(chunked.complete) << chunked.head;
    EXPECT_TRUE(chunked.chunked);
    EXPECT_EQ(chunked.Count("Content-Length"), 0);
    EXPECT_EQ(chunked.body, kLongBody);

    // A body without a length, which ends where the origin closes, reaches a
    // kept-alive browser chunked, and the browser connection stays usable.
    ASSERT_TRUE(browser.Get(origin.Url("/until-close")));
    const Response untilClose = browser.Read();
    ASSERT_TRUE(untilClose.complete) << untilClose.head;
    EXPECT_TRUE(untilClose.chunked);
    EXPECT_EQ(untilClose.body, kLongBody);

    // HEAD: no body, whatever the fields say, so the next request gets its own
    // answer.
    for (const std::string path : {"/head-with-length", "/head-without-length"}) {
        ASSERT_TRUE(browser.Send("HEAD " + origin.Url(path) +
                                 " HTTP/1.1\r\nHost: " + HostOf(origin.Url("/")) + "\r\n\r\n"));
        const Response head = browser.Read(true, 3s);
        EXPECT_EQ(head.status, 200) << path;
        ASSERT_TRUE(browser.Get(origin.Url("/after" + path)));
        const Response after = browser.Read(false, 3s);
        EXPECT_EQ(after.StatusLine(), "HTTP/1.1 200 OK") << path << "\n" << after.head;
        EXPECT_EQ(after.body, "origin:/after" + path);
    }

    // An HTTP/1.0 browser is not kept alive: the body without length comes as
    // it is and the connection closes after it.
    Browser old(proxy.Port());
    ASSERT_TRUE(old.Send("GET " + origin.Url("/until-close") + " HTTP/1.0\r\n\r\n"));
    const Response plain = old.Read();
    ASSERT_TRUE(plain.complete) << plain.head;
    EXPECT_FALSE(plain.chunked);
    EXPECT_EQ(plain.body, kLongBody);
    EXPECT_EQ(plain.Header("Proxy-Connection"), "close");
}

TEST(ProxyE2E, PipelinedRequestsWaitForTheirTurn) {
    Origin origin(ByPath);
    ProxyDaemon proxy;
    ASSERT_TRUE(proxy.Ready());
    const std::string host = "Host: " + HostOf(origin.Url("/")) + "\r\n";
    auto get = [&](const std::string& path) {
        return "GET " + origin.Url(path) + " HTTP/1.1\r\n" + host + "\r\n";
    };

    // Requests sent in one go, some with bodies: the bytes after a body belong
    // to the next request, not to the body, and every request is answered in
    // turn on the same connection.
    Browser browser(proxy.Port());
    ASSERT_TRUE(browser.Send(get("/p1") + get("/p2")));
    EXPECT_EQ(browser.Read().body, "origin:/p1");
    EXPECT_EQ(browser.Read().body, "origin:/p2");
    ASSERT_TRUE(browser.Send("POST " + origin.Url("/echo") + " HTTP/1.1\r\n" + host +
                             "Content-Length: 5\r\n\r\nhello" + get("/p3")));
    EXPECT_EQ(browser.Read().body, "echo:hello");
    EXPECT_EQ(browser.Read().body, "origin:/p3");

    Browser chunks(proxy.Port());
    ASSERT_TRUE(chunks.Send("POST " + origin.Url("/echo") + " HTTP/1.1\r\n" + host +
                            "Transfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n" +
                            get("/p4")));
    EXPECT_EQ(chunks.Read().body, "echo:abc");
    EXPECT_EQ(chunks.Read().body, "origin:/p4");

    // Nothing of a following request reached the origin as body.
    for (const auto& request : RequestsFor(origin, "/echo"))
        EXPECT_EQ(request.body.find("GET"), std::string::npos) << request.body;
}

TEST(ProxyE2E, UploadsAndInterimResponses) {
    Origin origin(ByPath);
    ProxyDaemon proxy;
    ASSERT_TRUE(proxy.Ready());
    const std::string host = "Host: " + HostOf(origin.Url("/")) + "\r\n";

    // A chunked upload arriving in pieces is forwarded whole, chunked, without a
    // Content-Length; the request after it is read as a request.
    Browser uploader(proxy.Port());
    const std::string chunkedPost = "POST " + origin.Url("/echo") + " HTTP/1.1\r\n" + host +
                                    "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n";
    ASSERT_TRUE(uploader.Send(chunkedPost));
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(uploader.Send("6;ext=1\r\n world\r\n0\r\n\r\n"));
    const Response uploaded = uploader.Read();
    EXPECT_EQ(uploaded.body, "echo:hello world");
    ASSERT_TRUE(uploader.Get(origin.Url("/p4")));
    EXPECT_EQ(uploader.Read().body, "origin:/p4");
    auto echoes = RequestsFor(origin, "/echo");
    ASSERT_EQ(echoes.size(), 1u);
    EXPECT_TRUE(echoes[0].chunked);
    EXPECT_TRUE(echoes[0].complete);
    EXPECT_EQ(echoes[0].body, "hello world");
    EXPECT_EQ(echoes[0].Count("Content-Length"), 0);

    // Both chunked and Content-Length: chunked wins, the length is not
    // forwarded, and the browser connection closes after the answer.
    Browser smuggler(proxy.Port());
    ASSERT_TRUE(smuggler.Send("POST " + origin.Url("/echo") + " HTTP/1.1\r\n" + host +
                              "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n"
                              "5\r\nhello\r\n0\r\n\r\n"));
    const Response both = smuggler.Read();
    EXPECT_EQ(both.body, "echo:hello");
    EXPECT_TRUE(smuggler.ClosedByPeer());
    echoes = RequestsFor(origin, "/echo");
    ASSERT_EQ(echoes.size(), 2u);
    EXPECT_TRUE(echoes[1].chunked);
    EXPECT_EQ(echoes[1].body, "hello");
    EXPECT_EQ(echoes[1].Count("Content-Length"), 0);

    // A transfer coding the proxy cannot frame is refused.
    Browser badCoding(proxy.Port());
    ASSERT_TRUE(badCoding.Send("POST " + origin.Url("/bad-coding") + " HTTP/1.1\r\n" + host +
                               "Transfer-Encoding: gzip\r\n\r\nxxxx"));
    EXPECT_EQ(badCoding.Read().status, 400);
    EXPECT_TRUE(RequestsFor(origin, "/bad-coding").empty());

    // 100 Continue reaches an HTTP/1.1 browser before the answer, whether it
    // comes alone or in one packet with the answer; never as the answer.
    for (const std::string path : {"/continue", "/continue-together"}) {
        Browser uploader(proxy.Port());
        ASSERT_TRUE(uploader.Send("POST " + origin.Url(path) + " HTTP/1.1\r\n" + host +
                                  "Expect: 100-continue\r\nContent-Length: 4\r\n\r\ndata"));
        const Response answer = uploader.Read();
        ASSERT_EQ(answer.interim.size(), 1u) << path;
        EXPECT_EQ(answer.interim[0].rfind("HTTP/1.1 100 ", 0), 0u) << answer.interim[0];
        EXPECT_EQ(answer.status, 200) << path;
        EXPECT_EQ(answer.body, "done:data") << path;
        // The connection goes on after the final answer.
        ASSERT_TRUE(uploader.Get(origin.Url("/after-continue")));
        EXPECT_EQ(uploader.Read().body, "origin:/after-continue") << path;
    }
    // An HTTP/1.0 browser cannot take an interim response: it gets only the
    // answer.
    Browser old(proxy.Port());
    ASSERT_TRUE(old.Send("POST " + origin.Url("/continue") + " HTTP/1.0\r\n" + host +
                         "Content-Length: 4\r\n\r\ndata"));
    const Response oldAnswer = old.Read();
    EXPECT_TRUE(oldAnswer.interim.empty());
    EXPECT_EQ(oldAnswer.status, 200);
    EXPECT_EQ(oldAnswer.body, "done:data");
}

TEST(ProxyE2E, ServerConnectionPool) {
    Origin origin([](const OriginRequest& request) {
        if (request.Target() == "/garbage")
            return Reply::Raw("THIS IS NOT HTTP\r\n\r\n");
        return Reply::Text(200, "origin:" + request.Target());
    });
    ProxyDaemon proxy("[ProxyEngine]\nServerRetry=2\n");
    ASSERT_TRUE(proxy.Ready());

    // Two browser connections one after the other share one server connection.
    for (const std::string path : {"/one", "/two"}) {
        Browser browser(proxy.Port());
        ASSERT_TRUE(browser.Get(origin.Url(path)));
        EXPECT_EQ(browser.Read().body, "origin:" + path);
    }
    EXPECT_EQ(origin.Accepts(), 1);

    // The origin drops the idle connection; the pooled copy is stale, and the
    // request still succeeds on a new connection.
    origin.CloseIdle();
    {
        Browser browser(proxy.Port());
        ASSERT_TRUE(browser.Get(origin.Url("/three")));
        const Response response = browser.Read();
        EXPECT_EQ(response.status, 200) << response.head << response.body;
        EXPECT_EQ(response.body, "origin:/three");
    }
    EXPECT_EQ(origin.Accepts(), 2);

    // A server connection whose answer failed is never pooled: no later request
    // arrives on it.
    {
        Browser browser(proxy.Port());
        ASSERT_TRUE(browser.Get(origin.Url("/garbage")));
        const Response response = browser.Read();
        EXPECT_GE(response.status, 400) << response.head;
    }
    for (const std::string path : {"/four", "/five"}) {
        Browser browser(proxy.Port());
        ASSERT_TRUE(browser.Get(origin.Url(path)));
        EXPECT_EQ(browser.Read().body, "origin:" + path);
    }
    std::set<int> failed;
    for (const auto& request : origin.Requests()) {
        if (request.Target() == "/garbage")
            failed.insert(request.connection);
        else
            EXPECT_EQ(failed.count(request.connection), 0u) << request.Target();
    }
    EXPECT_FALSE(failed.empty());
}

TEST(ProxyE2E, ARetriedRequestSendsItsBodyAgain) {
    Origin origin;
    origin.Queue(Reply::Drop()); // the first attempt reads the request and fails
    ProxyDaemon proxy("[ProxyEngine]\nServerRetry=2\n");
    ASSERT_TRUE(proxy.Ready());

    const std::string body = "name=value&more=" + std::string(1000, 'x');
    Browser browser(proxy.Port());
    ASSERT_TRUE(browser.Send("POST " + origin.Url("/form") + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                             "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body));
    const Response response = browser.Read();
    EXPECT_EQ(response.status, 200) << response.head;
    const auto requests = origin.Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& request : requests) {
        EXPECT_TRUE(request.complete);
        EXPECT_EQ(request.body, body);
    }
}

TEST(ProxyE2E, ConnectTunnelCarriesBytesBothWays) {
    Origin origin([](const OriginRequest& request) {
        Reply reply = Reply::Text(200, "tunnelled:" + request.Target());
        reply.closeAfter = request.Target() == "/last";
        return reply;
    });
    ProxyDaemon proxy;
    ASSERT_TRUE(proxy.Ready());

    Browser browser(proxy.Port());
    const std::string target = HostOf(origin.Url("/"));
    ASSERT_TRUE(browser.Send("CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n"));
    const Response established = browser.Read(true);
    ASSERT_EQ(established.status, 200) << established.head;
    EXPECT_TRUE(browser.Unread().empty());

    // Whatever goes through the tunnel is left as it is.
    const std::string inner = "GET /inside HTTP/1.1\r\nHost: tunnel\r\nUser-Agent: raw\r\n\r\n";
    ASSERT_TRUE(browser.Send(inner));
    EXPECT_EQ(browser.Read().body, "tunnelled:/inside");
    ASSERT_TRUE(browser.Send("GET /last HTTP/1.1\r\nHost: tunnel\r\n\r\n"));
    EXPECT_EQ(browser.Read().body, "tunnelled:/last");
    ASSERT_TRUE(origin.WaitForRequests(2));
    EXPECT_EQ(origin.Requests().front().head, inner);
    EXPECT_EQ(origin.Accepts(), 1);

    // The origin closed its end: the tunnel ends and the browser connection
    // closes.
    EXPECT_TRUE(browser.ClosedByPeer());
}

TEST(ProxyE2E, ErrorPagesAreEscapedAndCloseTheConnection) {
    ProxyDaemon proxy;
    ASSERT_TRUE(proxy.Ready());
    const std::string self = "Host: 127.0.0.1:" + std::to_string(proxy.Port()) + "\r\n";
    const std::uint16_t closedPort = FreePort();
    const std::string nowhere = "http://127.0.0.1:" + std::to_string(closedPort);

    // A request sent to the proxy as to a web server.
    {
        Browser browser(proxy.Port());
        ASSERT_TRUE(browser.Send("GET /<script>alert(1)</script> HTTP/1.1\r\n" + self + "\r\n"));
        const Response page = browser.Read();
        EXPECT_EQ(page.status, 400);
        EXPECT_NE(page.body.find("Not a proxy request"), std::string::npos) << page.body;
        EXPECT_EQ(page.body.find("<script>alert"), std::string::npos) << page.body;
        EXPECT_NE(page.body.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
        EXPECT_EQ(page.Header("Connection"), "close");
        EXPECT_EQ(page.Header("Content-Length"), std::to_string(page.body.size()));
        EXPECT_TRUE(browser.ClosedByPeer());
    }
    // A URL inside the query is not the request's own: no attempt to reach it.
    {
        Browser browser(proxy.Port());
        ASSERT_TRUE(browser.Send("GET /cvnothing?x=" + nowhere + "/ HTTP/1.1\r\n" + self + "\r\n"));
        const Response page = browser.Read();
        EXPECT_EQ(page.status, 400);
        EXPECT_NE(page.body.find("Not a proxy request"), std::string::npos);
    }
    // An https URL cannot be fetched by a GET through the proxy.
    {
        Browser browser(proxy.Port());
        ASSERT_TRUE(browser.Get("https://127.0.0.1:" + std::to_string(closedPort) + "/x"));
        const Response page = browser.Read();
        EXPECT_EQ(page.status, 400);
        EXPECT_NE(page.body.find("Not a proxy request"), std::string::npos);
    }
    // Nobody listens: the cannot-connect page, with the URL escaped.
    {
        Browser browser(proxy.Port());
        ASSERT_TRUE(browser.Get(nowhere + "/<script>alert(2)</script>?a=\"b\"&c"));
        const Response page = browser.Read();
        EXPECT_EQ(page.status, 500);
        EXPECT_EQ(page.Header("Content-Type"), "text/html");
        EXPECT_EQ(page.Header("Proxy-Connection"), "close");
        EXPECT_EQ(page.body.find("<script>alert"), std::string::npos) << page.body;
        EXPECT_NE(page.body.find("/&lt;script&gt;alert(2)&lt;/script&gt;?a=&quot;b&quot;&amp;c"),
                  std::string::npos)
            << page.body;
        EXPECT_TRUE(browser.ClosedByPeer());
    }
}

TEST(ProxyE2E, WithoutHTTP11EveryConnectionServesOneRequest) {
    Origin origin;
    ProxyDaemon proxy("", "UseHTTP11=0\n");
    ASSERT_TRUE(proxy.Ready());

    Browser browser(proxy.Port());
    ASSERT_TRUE(browser.Get(origin.Url("/only")));
    const Response response = browser.Read();
    EXPECT_EQ(response.StatusLine(), "HTTP/1.0 200 OK");
    EXPECT_EQ(response.body, "origin:/only");
    EXPECT_EQ(response.Header("Proxy-Connection"), "close");
    EXPECT_TRUE(browser.ClosedByPeer());

    ASSERT_TRUE(origin.WaitForRequests(1));
    const OriginRequest upstream = origin.Requests().front();
    EXPECT_EQ(upstream.RequestLine(), "GET /only HTTP/1.0");
    EXPECT_EQ(upstream.Header("Connection"), "close");
}

TEST(ProxyE2E, InternalTransparentImageUnderTheMarkerHost) {
    ProxyDaemon proxy;
    ASSERT_TRUE(proxy.Ready());
    Browser browser(proxy.Port());
    ASSERT_TRUE(browser.Get("http://-corva.vane-/trans.gif"));
    const Response image = browser.Read();
    EXPECT_EQ(image.status, 200) << image.head;
    EXPECT_EQ(image.Header("Content-type"), "image/gif");
    EXPECT_EQ(image.Header("Content-Length"), "42");
    const unsigned char expected[] = {
        0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0x00,
        0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x01, 0x00, 0x2C,
        0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x01, 0x4C, 0x00, 0x3B};
    EXPECT_EQ(image.body, std::string(reinterpret_cast<const char*>(expected), sizeof expected));
}

TEST(ProxyE2E, SlowOriginHoldsOnlyItsOwnBrowserAndAStopEndsTheWait) {
    Origin origin([](const OriginRequest& request) {
        Reply reply = Reply::Text(200, "origin:" + request.Target());
        if (request.Target() == "/slow")
            reply.hangFirst = 3s;
        return reply;
    });
    ProxyDaemon proxy;
    ASSERT_TRUE(proxy.Ready());

    Browser waiting(proxy.Port());
    ASSERT_TRUE(waiting.Get(origin.Url("/slow")));
    ASSERT_TRUE(origin.WaitForRequests(1));
    // Another browser is served meanwhile.
    Browser other(proxy.Port());
    ASSERT_TRUE(other.Get(origin.Url("/quick")));
    EXPECT_EQ(other.Read(false, 2s).body, "origin:/quick");

    // A graceful stop does not wait for the origin: the waiting browser's
    // connection closes and the daemon ends well before the origin would
    // have answered.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(proxy.Stop(), 0);
    EXPECT_TRUE(waiting.ClosedByPeer(2s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST(ProxyE2E, AServerMayAnswerAnUploadBeforeItHasTheBody) {
    Origin origin(ByPath);
    ProxyDaemon proxy;
    ASSERT_TRUE(proxy.Ready());
    const std::string host = "Host: " + HostOf(origin.Url("/")) + "\r\n";

    // A refusal before the body: relayed, the body stopped, and the browser
    // connection closed, so the rest of that body is never read as a request.
    Reply refusal = Reply::Text(413, "too large", "Connection: close\r\n");
    refusal.beforeBody = true;
    refusal.closeAfter = true;
    origin.Queue(refusal);
    Browser uploader(proxy.Port());
    ASSERT_TRUE(uploader.Send("POST " + origin.Url("/upload") + " HTTP/1.1\r\n" + host +
                              "Content-Length: 100000\r\n\r\n" + std::string(1000, 'x')));
    const Response refused = uploader.Read();
    EXPECT_EQ(refused.status, 413) << refused.head;
    EXPECT_EQ(refused.body, "too large");
    uploader.Send("GET " + origin.Url("/hidden-in-the-body") + " HTTP/1.1\r\n" + host + "\r\n");
    EXPECT_TRUE(uploader.ClosedByPeer());
    EXPECT_TRUE(RequestsFor(origin, "/hidden-in-the-body").empty());

    // Expect: 100-continue: the server's 100 reaches the browser while the
    // proxy still waits for the body, and the body follows when it comes.
    for (const bool chunked : {false, true}) {
        Reply proceed = Reply::Raw("HTTP/1.1 100 Continue\r\n\r\n");
        proceed.beforeBody = true;
        origin.Queue(proceed);
        Browser careful(proxy.Port());
        ASSERT_TRUE(careful.Send(
            "POST " + origin.Url("/echo") + " HTTP/1.1\r\n" + host + "Expect: 100-continue\r\n" +
            (chunked ? "Transfer-Encoding: chunked\r\n\r\n" : "Content-Length: 4\r\n\r\n")));
        const std::string interim = careful.ReadInterim();
        EXPECT_EQ(interim.rfind("HTTP/1.1 100 ", 0), 0u) << interim;
        ASSERT_TRUE(careful.Send(chunked ? "4\r\ndata\r\n0\r\n\r\n" : "data"));
        const Response answer = careful.Read();
        EXPECT_EQ(answer.status, 200) << answer.head;
        EXPECT_EQ(answer.body, "echo:data");
        EXPECT_TRUE(answer.interim.empty()); // relayed once, not again
        ASSERT_TRUE(careful.Get(origin.Url("/after")));
        EXPECT_EQ(careful.Read().body, "origin:/after");
    }
}
