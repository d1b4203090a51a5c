// Pages washed on their way through the daemon: the washed body's framing on
// a kept-alive connection, a gzip page inflated for the washer, and a page
// that reaches the browser while the origin is still sending it.

#include "e2e/Daemon.h"
#include "support/Browser.h"
#include "support/Origin.h"

#include <gtest/gtest.h>
#include <zlib.h>

using namespace e2e;
using namespace std::chrono_literals;

namespace {

const std::string kSettings = "[ImageFilter.URLList]\n~*ads.example.net*\n";
const std::string kPage = "<html><body><p>news</p><img src=\"http://ads.example.net/b.gif\" "
                          "width=10 height=10><p>more news</p></body></html>";
const std::string kWashed = "<html><body><p>news</p><img src=\"http://-Corva.Vane-/trans.gif\" "
                            "width=10 height=10 border=\"0\"><p>more news</p></body></html>";

std::string Gzip(const std::string& text) {
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, text.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

} // namespace

TEST(HTMLWasherE2E, WashedPagesKeepTheConnectionAndAreInflated) {
    Origin origin([](const OriginRequest& request) {
        if (request.Target() == "/gz")
            return Reply::Text(200, Gzip(kPage), "Content-Encoding: gzip\r\n", "text/html");
        if (request.Target() == "/plain")
            return Reply::Text(200, kPage, "", "text/plain");
        return Reply::Text(200, kPage, "", "text/html; charset=utf-8");
    });
    ProxyDaemon proxy("[Options]\nReplace=1\n" + kSettings);
    ASSERT_TRUE(proxy.Ready());
    Browser browser(proxy.Port());
    for (const char* path : {"/page", "/gz", "/plain"}) {
        ASSERT_TRUE(browser.Get(origin.Url(path))) << path;
        const Response response = browser.Read();
        EXPECT_EQ(response.status, 200) << path;
        if (std::string_view(path) == "/plain") {
            EXPECT_EQ(response.body, kPage); // not HTML: untouched, its length kept
            EXPECT_EQ(response.Header("Content-Length"), std::to_string(kPage.size()));
            continue;
        }
        EXPECT_EQ(response.body, kWashed) << path;
        EXPECT_EQ(response.Header("Transfer-Encoding"), "chunked") << path;
        EXPECT_FALSE(response.Has("Content-Length")) << path;
        EXPECT_FALSE(response.Has("Content-Encoding")) << path;
    }
    EXPECT_EQ(origin.Accepts(), 1); // one browser connection, one server connection, kept
}

TEST(HTMLWasherE2E, APageStreamsWhileTheOriginStillSends) {
    Origin origin([](const OriginRequest&) {
        Reply reply;
        const std::string first = "<html><body><p>first half</p>" + std::string(4000, ' ');
        const std::string second = "<p>second half</p></body></html>";
        reply.pieces = {"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                            std::to_string(first.size() + second.size()) + "\r\n\r\n" + first,
                        second};
        reply.pause = 3s;
        return reply;
    });
    ProxyDaemon proxy(kSettings);
    ASSERT_TRUE(proxy.Ready());
    Browser browser(proxy.Port());
    ASSERT_TRUE(browser.Get(origin.Url("/slow")));
    const auto asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(browser.WaitFor("first half", 2500ms));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2500ms);
    EXPECT_EQ(browser.Unread().find("second half"), std::string::npos);
    const Response response = browser.Read(false, 6s);
    EXPECT_NE(response.body.find("<p>second half</p></body></html>"), std::string::npos);
}

TEST(HTMLWasherE2E, EmbeddedObjectsJudgedWithASecurityLogLine) {
    const std::string page = R"(<object classid="clsid:D27CDB6E"><p>alt</p></object>)"
                             R"(<embed src="movie.swf"><embed src="clip.xyz">!)";
    Origin origin([&](const OriginRequest&) { return Reply::Text(200, page, "", "text/html"); });
    ProxyDaemon proxy("[MediaFilter]\nEnabled=1\nLogging=1\nFilterEmbedded=1\nRemoveActiveX=1\n"
                      "[MediaFilter.MediaTypes]\napplication/x-shockwave-flash;.swf\n");
    ASSERT_TRUE(proxy.Ready());
    Browser browser(proxy.Port());
    ASSERT_TRUE(browser.Get(origin.Url("/objects.html")));
    EXPECT_EQ(browser.Read().body, R"(<embed src="clip.xyz">!)");
    ASSERT_EQ(proxy.Stop(), 0);
    const std::string log = proxy.ReadFile("var/log/corvand/security.log");
    for (const char* line :
         {"] \"Object CLASSID=clsid:D27CDB6E\" 415 - - filter\n",
          "] \"Embed movie.swf\" 415 - swf filter\n", "] \"Embed clip.xyz\" 200 - xyz unknown\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}
