#include "support/HeadLines.h"
#include "support/LoopbackPair.h"

#include "http/ErrorPage.h"
#include "os/CException.h"
#include "stats/CStatistic.h"

#include <gtest/gtest.h>

namespace {

using Match = CConnInfo::PatternMatch;

CConnInfo Request(const char* uri, const char* method = "GET") {
    return ParseLines({std::string(method) + " " + uri + " HTTP/1.0", "Zeta: z", "accept: */*",
                       "Set-Cookie: 1", "Set-Cookie: 2"},
                      CConnInfo::kParseRequest);
}

} // namespace

TEST(WriteHead, OriginAndUpstreamForms) {
    CConnInfo info = Request("http://www.example.com:8080/a?b");
    EXPECT_EQ(info.BuildHead(), "GET /a?b HTTP/1.1\r\n"
                                "accept: */*\r\n"
                                "Host: www.example.com:8080\r\n"
                                "Set-Cookie: 1\r\n"
                                "Set-Cookie: 2\r\n"
                                "Zeta: z\r\n"
                                "\r\n");
    info.AddHeader("", "never written");
    info.SetUpstreamProxy("proxy.lan", 3128);
    EXPECT_EQ(info.BuildHead().substr(0, 48), "GET http://www.example.com:8080/a?b HTTP/1.1\r\nac");

    CConnInfo::SetStartOptions(false, 9090);
    info.SetUpstreamProxy("", 0);
    EXPECT_EQ(info.BuildHead().substr(0, 19), "GET /a?b HTTP/1.0\r\n");
    CConnInfo::SetStartOptions(true, 9090);

    // A host-less request keeps its path even through the upstream proxy.
    CConnInfo local = Request("/x.html");
    local.SetHost("");
    local.SetUpstreamProxy("proxy.lan", 0);
    EXPECT_EQ(local.BuildHead().substr(0, 24), "GET /x.html HTTP/1.1\r\nac");

    // A CONNECT target is host and port, never a path.
    CConnInfo tunnel = Request("secure.example.com:443", "CONNECT");
    tunnel.SetUpstreamProxy("proxy.lan", 3128);
    EXPECT_EQ(tunnel.BuildHead().substr(0, 45), "CONNECT secure.example.com:443 HTTP/1.1\r\nacce");

    CConnInfo odd = Request("http://h/", "Mkcol");
    EXPECT_EQ(odd.BuildHead().substr(0, 18), "Mkcol / HTTP/1.1\r\n");
}

TEST(WriteHead, StatusLines) {
    CConnInfo info;
    info.InitResponse(5);
    EXPECT_EQ(info.BuildHead(), "HTTP/1.1 005 Unknown error\r\n\r\n");
    info.InitResponse(404);
    info.AddHeader("Content-type", "text/html");
    EXPECT_EQ(info.BuildHead(), "HTTP/1.1 404 Not Found\r\nContent-type: text/html\r\n\r\n");
    info.SetReason("Gone Fishing");
    EXPECT_EQ(info.BuildHead().substr(0, 30), "HTTP/1.1 404 Gone Fishing\r\nCon");
}

TEST(Forwarding, MatchHostPattern) {
    const auto m = CConnInfo::MatchHostPattern;
    EXPECT_EQ(m("www.example.com", "WWW.example.com"), Match::Match);
    EXPECT_EQ(m("www.example.com", "www.example.co"), Match::NoMatch);
    EXPECT_EQ(m("www", "www.x"), Match::NoMatchPossible);
    EXPECT_EQ(m("abc", "a?c"), Match::Match);
    EXPECT_EQ(m("abc", "a**"), Match::Match);
    EXPECT_EQ(m("abc", "*c"), Match::Match);
    EXPECT_EQ(m("abc", "*b"), Match::NoMatchPossible);
    EXPECT_EQ(m("abc", "*$"), Match::Match);
    EXPECT_EQ(m("", "$"), Match::Match);
    EXPECT_EQ(m("a", "$a"), Match::NoMatch);
    EXPECT_EQ(m("ads.example.com", "(ads|banner).*"), Match::Match);
    EXPECT_EQ(m("banner.example.com", "(ads|banner).*"), Match::Match);
    EXPECT_EQ(m("www.example.com", "(ads|banner).*"), Match::NoMatch);
    EXPECT_EQ(m("a|b", "(a\\|b)"), Match::Match);
    EXPECT_EQ(m("x)", "(x\\))"), Match::Match);
    EXPECT_EQ(m("abc", "(abc"), Match::NoMatchPossible);
    EXPECT_EQ(m("ab", "ab(|c)"), Match::Match);
    EXPECT_EQ(m("b7", "[abc][0-9]"), Match::Match);
    EXPECT_EQ(m("d7", "[abc][0-9]"), Match::NoMatch);
    EXPECT_EQ(m("B7", "[abc]7"), Match::NoMatch); // brackets keep case
    EXPECT_EQ(m("x", "[^0-9]"), Match::Match);
    EXPECT_EQ(m("5", "[^0-9]"), Match::NoMatch);
    EXPECT_EQ(m("-", "[a-]"), Match::Match);
    EXPECT_EQ(m("a*c", "a\\*c"), Match::Match);
    EXPECT_EQ(m("abc", "a\\*c"), Match::NoMatch);
}

TEST(Forwarding, PrepareForClientFraming) {
    const auto response = [](std::initializer_list<std::pair<const char*, const char*>> fields,
                             int status = 200) {
        CConnInfo info;
        info.InitResponse(status);
        for (const auto& [name, value] : fields)
            info.AddHeader(name, value);
        return info;
    };
    CConnInfo::ForwardingOptions options;
    CIString value;

    // Kept alive, no length: chunked.
    CConnInfo r = response({{"Connection", "close"}, {"Transfer-Encoding", "chunked"}});
    EXPECT_TRUE(r.PrepareFraming(true, true, false));
    EXPECT_TRUE(r.GetHeader("Proxy-Connection", value));
    EXPECT_EQ(value, "keep-alive");
    EXPECT_FALSE(r.HasHeader("Connection"));
    EXPECT_EQ(r.Headers().count("Transfer-Encoding"), 1u);

    // Not kept alive: sent until the connection closes.
    r = response({{"Proxy-Connection", "keep-alive"}});
    EXPECT_FALSE(r.PrepareFraming(false, false, false));
    EXPECT_TRUE(r.GetHeader("Connection", value));
    EXPECT_EQ(value, "close");
    EXPECT_FALSE(r.HasHeader("Transfer-Encoding"));
    EXPECT_FALSE(r.HasHeader("Proxy-Connection"));

    // A known length stays unless a washer rewrites the body.
    r = response({{"Content-Length", "12"}});
    EXPECT_FALSE(r.PrepareFraming(false, true, false));
    EXPECT_TRUE(r.HasHeader("Content-Length"));
    r = response({{"Content-Length", "12"}});
    EXPECT_TRUE(r.PrepareFraming(false, true, true));
    EXPECT_FALSE(r.HasHeader("Content-Length"));

    // Messages without a body never get chunks.
    for (int status : {204, 304, 100}) {
        r = response({}, status);
        EXPECT_FALSE(r.PrepareFraming(false, true, true)) << status;
        EXPECT_FALSE(r.HasHeader("Transfer-Encoding"));
    }
}

// The page and the redirect of a blocked request are pinned end to end; here
// the verdicts that must not block, and the count.
TEST(Forwarding, BlockedURLs) {
    const CConnInfo request = Request("http://ads.example.com/banner.gif");
    CStatistic statistic;
    const auto verdict = [](int v) { return [v](std::string_view) { return v; }; };
    EXPECT_NO_THROW(CheckBlockedURL(request, "", &statistic, verdict(0)));
    EXPECT_NO_THROW(CheckBlockedURL(request, "", &statistic, verdict(2))); // a don't-filter entry
    EXPECT_THROW(CheckBlockedURL(request, "", &statistic, verdict(1)), CHTMLErrException);
    EXPECT_EQ(statistic.Counter(CStatistic::BlockedRequests), 1u);
}

// IPv6 literals: the host without its brackets, written back with them in
// the Host field and towards an upstream proxy; broken brackets are a bad
// request.
TEST(Forwarding, BracketedHosts) {
    struct Case {
        const char* method;
        const char* uri;
        int status; // of the parse: 0 or the error page's
        const char* host;
        int port;
        const char* hostField;
        const char* upstreamLine;
    };
    const Case cases[] = {
        {"GET", "http://[2001:db8::1]:8080/path", 0, "2001:db8::1", 8080, "[2001:db8::1]:8080",
         "GET http://[2001:db8::1]:8080/path HTTP/1.1"},
        {"GET", "http://[2001:DB8:0::1]/", 0, "2001:db8::1", 0, "[2001:db8::1]",
         "GET http://[2001:db8::1]/ HTTP/1.1"},
        {"GET", "http://[::ffff:10.0.0.1]", 0, "::ffff:10.0.0.1", 0, "[::ffff:10.0.0.1]",
         "GET http://[::ffff:10.0.0.1]/ HTTP/1.1"},
        {"CONNECT", "[2001:db8::1]:443", 0, "2001:db8::1", 443, "[2001:db8::1]:443",
         "CONNECT [2001:db8::1]:443 HTTP/1.1"},
        {"CONNECT", "[2001:db8::1]", 400, "", 0, "", ""},
        {"GET", "http://[2001:db8::1/", 400, "", 0, "", ""},
        {"GET", "http://2001:db8::1/", 400, "", 0, "", ""},
        {"GET", "http://[2001:db8::1]x/", 400, "", 0, "", ""},
        {"GET", "http://[2001:db8::1]:/", 400, "", 0, "", ""},
        {"GET", "http://[2001:db8::1]:99999/", 400, "", 0, "", ""},
        {"GET", "http://[10.0.0.1]/", 400, "", 0, "", ""},
        {"GET", "http://[fe80::1%25eth0]/", 400, "", 0, "", ""},
        {"GET", "http://[]/", 400, "", 0, "", ""},
        {"GET", "http://a]b/", 400, "", 0, "", ""},
        {"GET", "http://[::1]]:80/", 400, "", 0, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.uri);
        Lines lines({(std::string(c.method) + " " + c.uri + " HTTP/1.1").c_str(), ""});
        CConnInfo info;
        ASSERT_EQ(ParseStatus(info, lines, CConnInfo::kParseRequest), c.status);
        if (c.status != 0)
            continue;
        EXPECT_EQ(info.Host(), c.host);
        EXPECT_EQ(info.Port(), c.port);
        CIString field;
        EXPECT_TRUE(info.GetHeader("Host", field));
        EXPECT_EQ(field, c.hostField);
        info.SetUpstreamProxy("proxy.lan", 3128);
        const CIString head = info.BuildHead();
        EXPECT_EQ(head.substr(0, head.find('\r')), c.upstreamLine);
        CIString host;
        std::uint16_t port = 0;
        info.SetUpstreamProxy("", 0);
        info.GetConnectTarget(host, port);
        EXPECT_EQ(host, c.host);
    }
}

// A host without a dot is a local name, but an IPv6 literal has no dots
// either: only its loopback address is local.
TEST(Forwarding, LocalHostsSkipTheUpstreamProxy) {
    CConnInfo::ForwardingOptions options;
    options.client = true;
    options.dontUseProxyForLocal = true;
    options.proxyServer = "2001:db8::5";
    options.proxyPort = 3128;
    const struct {
        const char* uri;
        bool viaProxy;
    } cases[] = {
        {"http://intranet/", false},       {"http://127.0.0.1/", false},
        {"http://[::1]:8080/", false},     {"http://[2001:db8::1]/", true},
        {"http://www.example.com/", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uri);
        CConnInfo info = Request(c.uri);
        info.SelectUpstreamProxy(options);
        CIString host;
        std::uint16_t port = 0;
        EXPECT_EQ(info.GetConnectTarget(host, port), c.viaProxy);
        EXPECT_EQ(host, c.viaProxy ? CIString("2001:db8::5") : info.Host());
    }
}
