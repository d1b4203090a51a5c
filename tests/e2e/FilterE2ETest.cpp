// The filters on real requests through the daemon: URL blocking, cookies,
// referrer and User-Agent, media types, and the logs they write.

#include "e2e/Daemon.h"
#include "support/Browser.h"
#include "support/Origin.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace e2e;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at + 1));
    return lines;
}

// A log line after its "[time stamp] ", which must have the log's form.
std::string AfterStamp(const std::string& line) {
    const std::size_t open = line.find('[');
    const std::size_t close = line.find("] ");
    if (open == std::string::npos || close == std::string::npos || close - open != 27)
        return "bad stamp: " + line;
    return line.substr(close + 2);
}

} // namespace

TEST(FilterE2E, BlockedUrlsGetThePageOrTheRedirect) {
    Origin origin;
    const std::string blocking = "[AccessControl]\nBlock=1\nBlockTo=''\nEnabled=1\n"
                                 "[AccessControl.BlockList]\nblocked-by-test\n" +
                                 origin.Url("/listed") + "\n";
    {
        ProxyDaemon proxy(blocking);
        ASSERT_TRUE(proxy.Ready());
        Browser browser(proxy.Port());
        ASSERT_TRUE(browser.Get(origin.Url("/blocked-by-test/x")));
        const Response page = browser.Read();
        EXPECT_EQ(page.status, 403);
        EXPECT_EQ(page.Header("Content-Type"), "text/html");
        EXPECT_NE(page.body.find("/blocked-by-test/x"), std::string::npos) << page.body;
        EXPECT_TRUE(browser.ClosedByPeer());

        // No other spelling of a listed URL reaches its server.
        const std::string port = ":" + std::to_string(origin.Port());
        for (const std::string& url :
             {"http://someone@127.0.0.1" + port + "/listed",
              "http://elsewhere.example?@127.0.0.1" + port + "/listed",
              "http://127.0.0.1." + port + "/listed", "http://2130706433" + port + "/listed",
              "http://127.0.0.1" + port + "/%6cisted",
              "http://127.0.0.1" + port + "/x/../listed"}) {
            Browser hidden(proxy.Port());
            ASSERT_TRUE(hidden.Get(url));
            EXPECT_EQ(hidden.Read().status, 403) << url;
        }

        Browser other(proxy.Port());
        ASSERT_TRUE(other.Get(origin.Url("/allowed")));
        EXPECT_EQ(other.Read().body, "origin:/allowed");
        ASSERT_EQ(origin.Requests().size(), 1u);
        EXPECT_EQ(origin.Requests().front().Target(), "/allowed");
    }
    {
        std::string redirecting = blocking;
        redirecting.replace(redirecting.find("BlockTo=''"), 10,
                            "BlockTo='http://elsewhere.example/why'");
        ProxyDaemon proxy(redirecting);
        ASSERT_TRUE(proxy.Ready());
        Browser browser(proxy.Port());
        ASSERT_TRUE(browser.Get(origin.Url("/blocked-by-test/y")));
        const Response redirect = browser.Read();
        EXPECT_EQ(redirect.StatusLine(), "HTTP/1.1 301 Moved Permanently");
        EXPECT_EQ(redirect.Header("Location"), "http://elsewhere.example/why");
        EXPECT_TRUE(redirect.body.empty());
        EXPECT_TRUE(browser.ClosedByPeer());
        EXPECT_EQ(origin.Requests().size(), 1u);
    }
}

TEST(FilterE2E, CookiesReferrerAndUserAgent) {
    Origin origin([](const OriginRequest& request) {
        return Reply::Text(200, "ok",
                           "Set-Cookie: g=1; domain=good.example; path=/\r\n"
                           "Set-Cookie: b=2; domain=bad.example\r\n"
                           "Set-Cookie: n=3; path=/; max-age=999999; domain=neutral.example\r\n"
                           "Set-Cookie: h=4\r\n"
                           "X-Target: " +
                               request.Target() + "\r\n");
    });
    ProxyDaemon proxy("[Privacy]\nEnabled=1\nNoReferrer=0\nNoReferrerDomain=1\n"
                      "NoReferrerEnabled=1\nNoReferrerPath=0\n"
                      "[CookieFilter]\nDisableBuiltIn=1\nEnabled=1\nExpireBySession=0\n"
                      "ExpireHours=1\nExpireMins=0\n"
                      "[CookieFilter.DomainList]\n127.0.0.1,0\ngood.example,2\n"
                      "bad.example,0\n*,1\n");
    ASSERT_TRUE(proxy.Ready());
    // Host 127.0.0.1 is listed bad: its cookies do not leave the browser, and
    // a referrer from another site is dropped.
    Browser browser(proxy.Port());
    ASSERT_TRUE(browser.Get(origin.Url("/bad-host"),
                            "Cookie: session=1; other=2\r\nReferer: http://elsewhere.example/p\r\n"
                            "User-Agent: TestBrowser/1.0\r\n"));
    const Response response = browser.Read();
    ASSERT_EQ(response.status, 200) << response.head;
    ASSERT_TRUE(origin.WaitForRequests(1));
    const OriginRequest dropped = origin.Requests().back();
    EXPECT_EQ(dropped.Count("Cookie"), 0);
    EXPECT_EQ(dropped.Count("Referer"), 0);
    EXPECT_EQ(dropped.Header("User-Agent"), "TestBrowser/1.0 Corvane 3.0 final");

    // Set-Cookie: good passes unchanged, bad goes, neutral gets an expiry date
    // at most an hour ahead instead of its max-age; a cookie without a domain
    // is judged by the host that sent it (bad).
    const auto cookies = response.Values("Set-Cookie");
    ASSERT_EQ(cookies.size(), 2u) << response.head;
    EXPECT_EQ(cookies[0], "g=1; domain=good.example; path=/");
    EXPECT_EQ(cookies[1].rfind("n=3; domain=neutral.example; expires=", 0), 0u) << cookies[1];
    EXPECT_EQ(cookies[1].find("max-age"), std::string::npos) << cookies[1];
    EXPECT_NE(cookies[1].find(" GMT; path=/"), std::string::npos) << cookies[1];
}

TEST(FilterE2E, BlockedMediaTypeGets415AndASecurityLogLine) {
    Origin origin([](const OriginRequest& request) {
        if (request.Target() == "/movie.mpg")
            return Reply::Text(200, "MPEG", "", "video/mpeg");
        return Reply::Text(200, "text", "", "text/plain; charset=us-ascii");
    });
    ProxyDaemon proxy("[MediaFilter]\nBlockTypesFromList=1\nEnabled=1\nLogging=1\n"
                      "[MediaFilter.MediaTypes]\nvideo/mpeg;.mpg\n");
    ASSERT_TRUE(proxy.Ready());

    Browser browser(proxy.Port());
    ASSERT_TRUE(browser.Get(origin.Url("/movie.mpg")));
    const Response blocked = browser.Read();
    EXPECT_EQ(blocked.status, 415);
    EXPECT_EQ(blocked.body.find("MPEG"), std::string::npos);
    EXPECT_NE(blocked.body.find("video/mpeg"), std::string::npos) << blocked.body;
    EXPECT_TRUE(browser.ClosedByPeer());

    Browser other(proxy.Port());
    ASSERT_TRUE(other.Get(origin.Url("/notes.txt")));
    EXPECT_EQ(other.Read().body, "text");

    ASSERT_EQ(proxy.Stop(), 0);
    const auto lines = Lines(proxy.ReadFile("var/log/corvand/security.log"));
    ASSERT_EQ(lines.size(), 2u) << proxy.ReadFile("var/log/corvand/security.log");
    EXPECT_EQ(AfterStamp(lines[0]),
              "\"GET " + origin.Url("/movie.mpg") + " HTTP/1.1\" 415 video/mpeg mpg filter\n");
    EXPECT_EQ(AfterStamp(lines[1]),
              "\"GET " + origin.Url("/notes.txt") + " HTTP/1.1\" 200 text/plain txt unknown\n");
}

TEST(LogE2E, AccessLogLinesAndRotation) {
    Origin origin;
    ProxyDaemon proxy("[ProxyEngine]\nAccessLog=1\nAccessLogLookup=0\nAccessLogNoLocal=0\n");
    ASSERT_TRUE(proxy.Ready());
    const std::string log = "var/log/corvand/access.log";

    Browser browser(proxy.Port());
    ASSERT_TRUE(browser.Get(origin.Url("/log1"), "Referer: http://ref.example/\r\n"
                                                 "User-Agent: ua \"quoted\" back\\slash\r\n"));
    EXPECT_EQ(browser.Read().body, "origin:/log1");
    ASSERT_TRUE(browser.Get(origin.Url("/log-two")));
    EXPECT_EQ(browser.Read().body, "origin:/log-two");
    // A head refused before anything was chosen for it still gets its line.
    Browser refused(proxy.Port());
    ASSERT_TRUE(refused.Send("GET " + origin.Url("/bad") + " HTTP/1.1\r\nX: \x01\r\n\r\n"));
    EXPECT_EQ(refused.Read().status, 400);
    ASSERT_EQ(proxy.Stop(), 0);

    auto lines = Lines(proxy.ReadFile(log));
    ASSERT_EQ(lines.size(), 3u) << proxy.ReadFile(log);
    for (const auto& line : lines)
        EXPECT_EQ(line.rfind("127.0.0.1 - - [", 0), 0u) << line;
    EXPECT_EQ(AfterStamp(lines[0]), "\"GET " + origin.Url("/log1") +
                                        " HTTP/1.1\" 200 12 \"http://ref.example/\" "
                                        "\"ua \\\"quoted\\\" back\\\\slash\" \n");
    EXPECT_EQ(AfterStamp(lines[1]),
              "\"GET " + origin.Url("/log-two") + " HTTP/1.1\" 200 15 \"-\" \"-\" \n");
    EXPECT_EQ(AfterStamp(lines[2]).rfind("\"GET " + origin.Url("/bad") + " HTTP/1.1\" 400 ", 0), 0u)
        << lines[2];

    // rotate renames the log with a time stamp; the next lines start a new one.
    ASSERT_TRUE(proxy.Start());
    ASSERT_EQ(RunCorvand({"rotate"}).exitCode, 0);
    const std::string directory = proxy.GetRoot().Path("var/log/corvand");
    std::string rotated;
    EXPECT_TRUE(WaitUntil(
        [&] {
            for (const auto& entry : std::filesystem::directory_iterator(directory)) {
                const std::string name = entry.path().filename();
                if (name.size() == 20 && name.rfind("access", 0) == 0 &&
                    name.find_first_not_of("0123456789", 6) == 16 && name.ends_with(".log"))
                    rotated = name;
            }
            return !rotated.empty();
        },
        3s));
    EXPECT_FALSE(std::filesystem::exists(proxy.GetRoot().Path(log)));
    Browser again(proxy.Port());
    ASSERT_TRUE(again.Get(origin.Url("/log3")));
    EXPECT_EQ(again.Read().body, "origin:/log3");
    ASSERT_EQ(proxy.Stop(), 0);
    EXPECT_EQ(Lines(proxy.ReadFile("var/log/corvand/" + rotated)).size(), 3u);
    lines = Lines(proxy.ReadFile(log));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("/log3 HTTP/1.1\" 200 12 "), std::string::npos) << lines[0];
}
