#include "support/LoopbackPair.h"

#include "http/CConnInfo.h"
#include "os/CException.h"
#include "settings/CSettings.h"
#include "web/CInternalGIFRequestHandler.h"
#include "web/InternalDispatch.h"
#include "web/InternalRequest.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// A request as the connection thread has it after reading the head: the
// browser's end of a loopback connection and the parsed message.
struct Browser {
    explicit Browser(std::string_view bytes) {
        pair.Write(bytes);
        request.ParseHead(pair.socket, CConnInfo::kParseRequest);
    }
    CInternalRequestHandler* Find(CIString& query) {
        return FindHandler(request.Method(), request.Path(), request, pair.socket.ProxyStyle(),
                           query);
    }
    CInternalRequestHandler* Find() {
        CIString query;
        return Find(query);
    }

    LoopbackPair pair;
    CConnInfo request;
};

const std::string kTransGif(CInternalGIFRequestHandler::TransparentImage());

} // namespace

TEST(InternalDispatch, PathNamesHandlerAndQuery) {
    const struct {
        const char* path;
        const char* name;
        const char* query;
    } cases[] = {
        {"/", "conf", ""},
        {"", "conf", ""},
        {"/trans.gif?a=1&b", "trans.gif", "a=1&b"},
        {"/cvstats?", "cvstats", ""},
        // Only the first '?' splits; only one leading slash is dropped.
        {"/cvrate?url=http://x/?y", "cvrate", "url=http://x/?y"},
        {"//conf", "/conf", ""},
        {"/?", "", ""},
    };
    for (const auto& c : cases) {
        CIString query("stale");
        EXPECT_EQ(InternalRequestName(c.path, query), c.name) << c.path;
        EXPECT_EQ(query, c.query) << c.path;
    }
    EXPECT_EQ(GetHandler(""), nullptr);
}

TEST(InternalDispatch, LookupsNeverAddHandlers) {
    const std::size_t count = RegisteredHandlerCount();
    EXPECT_EQ(GetHandler("TRANS.GIF"), GetHandler("trans.gif"));
    for (int i = 0; i < 50; ++i) {
        const CIString name("page" + std::to_string(i) + ".html");
        EXPECT_EQ(GetHandler(name), nullptr);
        Browser browser("GET /" + name.Str() + "?x=1 HTTP/1.1\r\nHost: a\r\n\r\n");
        EXPECT_EQ(browser.Find(), nullptr);
    }
    EXPECT_EQ(RegisteredHandlerCount(), count);
}

TEST(InternalDispatch, OnlyRequestsAddressedToTheProxyAreInternal) {
    const std::pair<const char*, const char*> cases[] = {
        {"GET http://-corva.vane-/trans.gif?w=1 HTTP/1.1\r\n\r\n", "trans.gif"},
        {"GET http://-CORVA.Vane-:80/TRANS.gif HTTP/1.0\r\n\r\n", "trans.gif"},
        // Sent to the proxy as to a web server: whatever its Host field says.
        {"GET /trans.gif HTTP/1.1\r\nHost: www.example.com\r\n\r\n", "trans.gif"},
        {"GET / HTTP/1.1\r\nHost: proxy\r\n\r\n", "conf"},
        // Another host's resource of the same name is relayed.
        {"GET http://www.example.com/trans.gif HTTP/1.1\r\n\r\n", nullptr},
        // The fixed handlers take GET only; HEAD is never internal.
        {"HEAD http://-corva.vane-/trans.gif HTTP/1.1\r\n\r\n", nullptr},
        {"POST /blank.html HTTP/1.1\r\nContent-Length: 0\r\n\r\n", nullptr},
    };
    for (const auto& [bytes, name] : cases) {
        Browser browser(bytes);
        EXPECT_EQ(browser.Find(), name ? GetHandler(name) : nullptr) << bytes;
        if (name == nullptr) {
            CSettings settings("", nullptr, true);
            EXPECT_FALSE(Dispatch(settings, browser.pair.socket, browser.request)) << bytes;
            EXPECT_EQ(browser.pair.SentByProxy(), "");
        }
    }
    Browser proxied(cases[0].first);
    CIString query;
    EXPECT_EQ(proxied.Find(query), GetHandler("trans.gif"));
    EXPECT_EQ(query, "w=1");
}

TEST(InternalDispatch, TransparentGifAnswer) {
    CSettings settings("", nullptr, true);
    // The user's own image never stands in for the transparent one.
    settings.String(CSettings::kOptionsUserImagePath).Set("/nonexistent/image.gif");
    // A kept-alive proxy request: the answer still closes the connection.
    Browser browser("GET http://-corva.vane-/trans.gif HTTP/1.1\r\nUser-Agent: t\r\n\r\n");
    ASSERT_TRUE(browser.pair.socket.KeepAlive());
    ASSERT_TRUE(Dispatch(settings, browser.pair.socket, browser.request));
    EXPECT_FALSE(browser.pair.socket.KeepAlive());
    EXPECT_EQ(browser.pair.SentByProxy(), "HTTP/1.1 200 OK\r\n"
                                          "Content-Length: 42\r\n"
                                          "Content-type: image/gif\r\n"
                                          "Proxy-Connection: close\r\n"
                                          "\r\n" +
                                              kTransGif);
}

TEST(InternalDispatch, BlankPageAnswer) {
    CSettings settings("", nullptr, true);
    Browser browser("GET /blank.html HTTP/1.1\r\nHost: 127.0.0.1:9090\r\n\r\n");
    ASSERT_TRUE(Dispatch(settings, browser.pair.socket, browser.request));
    EXPECT_FALSE(browser.pair.socket.KeepAlive());
    EXPECT_EQ(browser.pair.SentByProxy(),
              "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 72\r\n"
              "Content-type: text/html\r\n\r\n"
              "<html><head><title>Corvane blank page</title></head><body></body></html>");
}

TEST(InternalDispatch, ResponseOperations) {
    Browser browser("GET /x?a=1&A=2&n=-7&z HTTP/1.1\r\nAuthorization: Basic dTpw\r\n\r\n");
    InternalRequest context(browser.pair.socket, browser.request);
    ParseParameters(browser.pair.socket, context, "a=1&A=2&n=-7&z");

    CIString value("stale");
    EXPECT_TRUE(context.GetParameter("a", value));
    EXPECT_EQ(value, "1"); // the first of the name, in any case

    context.BeginResponse(401, "");
    context.AddResponseHeader("WWW-Authenticate", "Basic realm=\"x\"");
    context.SendResponse("");
    EXPECT_EQ(browser.pair.SentByProxy(), "HTTP/1.1 401 Unauthorized\r\n"
                                          "Connection: close\r\n"
                                          "Content-Length: 0\r\n"
                                          "WWW-Authenticate: Basic realm=\"x\"\r\n"
                                          "\r\n");
}
