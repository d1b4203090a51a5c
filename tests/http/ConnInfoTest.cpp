#include "support/HeadLines.h"

#include <gtest/gtest.h>

namespace {

CIString Header(const CConnInfo& info, const char* name) {
    CIString value;
    EXPECT_TRUE(info.GetHeader(name, value)) << name;
    return value;
}

} // namespace

TEST(ConnInfoParse, RequestLineAndHeaders) {
    CConnInfo info;
    Lines lines{"GET http://user:pw@www.example.com.:8080/a/b.html?x=1 HTTP/1.1",
                "Host: www.example.com",
                "Set-Cookie: a=1",
                "User-Agent:   Mozilla/5.0 ",
                "set-cookie: b=2",
                "X-Long: first",
                "",
                "body"};
    const auto framing = info.ParseHead(lines, CConnInfo::kParseRequest);
    EXPECT_EQ(info.Type(), CConnInfo::kTypeRequest);
    EXPECT_EQ(info.Method(), CConnInfo::kMethodGet);
    EXPECT_EQ(info.Scheme(), CConnInfo::kSchemeHttp);
    EXPECT_EQ(info.Host(), "www.example.com");
    EXPECT_EQ(info.Port(), 8080);
    EXPECT_EQ(info.Path(), "/a/b.html?x=1");
    EXPECT_EQ(info.Extension(), "html");
    EXPECT_EQ(info.Version(), 0x10001);
    EXPECT_EQ(info.RequestUri(), "http://www.example.com:8080/a/b.html?x=1");
    EXPECT_EQ(info.UserAgent(), "Mozilla/5.0 "); // trailing blanks kept
    EXPECT_EQ(Header(info, "x-long"), "first");
    EXPECT_EQ(lines.Left(), 1u);

    // Both cookies kept, in arrival order, whatever the case of their names.
    CIString value;
    std::vector<CIString> cookies;
    for (auto pos = info.Headers().begin(); info.FindNextHeader("SET-COOKIE", value, pos); ++pos)
        cookies.push_back(value);
    EXPECT_EQ(cookies, (std::vector<CIString>{"a=1", "b=2"}));

    EXPECT_TRUE(framing.proxyStyle);
    EXPECT_TRUE(framing.keepAlive);
    EXPECT_FALSE(framing.chunked);
    EXPECT_EQ(framing.bodyBytesLeft, 0); // a GET without a length has no body
    EXPECT_FALSE(info.CloseAfterResponse());
}

TEST(ConnInfoParse, HostFieldAndRequestURI) {
    CConnInfo info;
    Lines lines{"GET / HTTP/1.1", "Host: www.example.com:8080", ""};
    EXPECT_FALSE(info.ParseHead(lines, CConnInfo::kParseRequest).proxyStyle);
    EXPECT_EQ(info.Host(), "www.example.com:8080");
    EXPECT_EQ(info.Port(), 0);

    // A host in the request-URI makes the Host field, and overrides a spoofed one.
    CConnInfo old =
        ParseLines({"GET http://www.example.com:8080/ HTTP/1.0"}, CConnInfo::kParseRequest);
    EXPECT_EQ(Header(old, "Host"), "www.example.com:8080");
    CConnInfo spoofed =
        ParseLines({"GET http://allowed.example/ HTTP/1.1", "Host: blocked.example", "HOST: x"},
                   CConnInfo::kParseRequest);
    EXPECT_EQ(spoofed.Headers().count("Host"), 1u);
    EXPECT_EQ(Header(spoofed, "Host"), "allowed.example");
}

TEST(ConnInfoParse, StatusLines) {
    CConnInfo info;
    Lines lines{"HTTP/1.0 404", "Content-Length: 100", ""};
    const auto framing = info.ParseHead(lines, CConnInfo::kParseResponse);
    EXPECT_EQ(info.Type(), CConnInfo::kTypeResponse);
    EXPECT_EQ(info.Status(), 404);
    EXPECT_TRUE(info.Reason().empty());
    EXPECT_EQ(info.Version(), 0x10000);
    EXPECT_EQ(framing.bodyBytesLeft, 100);
    EXPECT_FALSE(framing.keepAlive);
    EXPECT_EQ(ParseLines({"http/1.1 200   Fine thanks"}, CConnInfo::kParseAny).Reason(),
              "Fine thanks");

    for (const char* bad : {"HTTP/.1 200 OK", "HTTP/1.1", "HTTP/11-200"}) {
        CConnInfo info;
        Lines lines{bad, ""};
        EXPECT_EQ(ParseStatus(info, lines, CConnInfo::kParseAny), 400) << bad;
        EXPECT_EQ(lines.Front(), bad) << "the bad line is put back";
    }
    for (const char* bad :
         {"GET", "GET /a b HTTP/1.1", "GET /", "GET / XTTP/1.1", "GET / HTTP/x"}) {
        Lines lines{bad, ""};
        EXPECT_EQ(ParseStatus(info, lines, CConnInfo::kParseRequest), 400) << bad;
    }
    Lines request{"GET / HTTP/1.1", ""};
    EXPECT_EQ(ParseStatus(info, request, CConnInfo::kParseResponse), 502);

    // An unknown method is accepted and written back under its own name.
    CConnInfo odd = ParseLines({"PROPFIND http://h/x HTTP/1.1"}, CConnInfo::kParseRequest);
    EXPECT_EQ(odd.Method(), CConnInfo::kMethodUnknown);
    CIString name;
    odd.GetMethodName(name);
    EXPECT_EQ(name, "PROPFIND");
}

TEST(ConnInfoParse, EmptyFirstLineAndShortLines) {
    CConnInfo info;
    Lines empty{"  ", "Host: x", ""};
    info.ParseHead(empty, CConnInfo::kParseRequest);
    EXPECT_EQ(info.Type(), CConnInfo::kTypeUnknown);
    EXPECT_TRUE(info.Headers().empty());
    EXPECT_EQ(empty.Left(), 2u);

    // Only the empty line ends the head; a server's folded line is a blank
    // in the value, one before the first field is dropped.
    Lines lines{"HTTP/1.1 200 OK", " lost", "A: b", " ab", "\tc ", "C: d", "", "x"};
    info.Reset();
    info.ParseHead(lines, CConnInfo::kParseResponse);
    EXPECT_TRUE(info.HeadComplete());
    EXPECT_EQ(Header(info, "A"), "b ab c");
    EXPECT_EQ(Header(info, "C"), "d");
    EXPECT_EQ(info.Headers().size(), 2u);
    EXPECT_EQ(lines.Left(), 1u);
    EXPECT_EQ(info.HeadSize(), 15u + 5u + 4u + 3u + 3u + 4u);
}

TEST(ConnInfoParse, KeepAlive) {
    struct Case {
        std::initializer_list<const char*> lines;
        bool keepAlive;
    };
    const Case cases[] = {
        {{"GET http://h/ HTTP/1.0", "Connection: keep-alive", ""}, false},
        // "close" ends the connection in either field, whoever sends it.
        {{"GET http://h/ HTTP/1.1", "Connection: close", ""}, false},
        {{"GET http://h/ HTTP/1.1", "Proxy-Connection: Close", ""}, false},
        {{"GET / HTTP/1.1", "Host: h", "Connection: close", ""}, false},
        {{"HTTP/1.1 200 OK", "Proxy-Connection: close", ""}, false},
        {{"GET http://h/ HTTP/1.1", "Connection: keep-alive", ""}, true},
        {{"HTTP/1.1 200 OK", "Connection: close", ""}, false},
    };
    for (const auto& c : cases) {
        CConnInfo info;
        Lines lines(c.lines);
        EXPECT_EQ(info.ParseHead(lines, CConnInfo::kParseAny).keepAlive, c.keepAlive)
            << *c.lines.begin() << " / " << *(c.lines.begin() + 1);
    }
    CConnInfo::SetStartOptions(false, 9090);
    CConnInfo info;
    Lines lines{"GET http://h/ HTTP/1.1", ""};
    EXPECT_FALSE(info.ParseHead(lines, CConnInfo::kParseRequest).keepAlive);
    CConnInfo::SetStartOptions(true, 9090);
}

TEST(ConnInfoParse, ResponseBodyFraming) {
    struct Case {
        std::initializer_list<const char*> lines;
        CConnInfo::HttpMethod method;
        bool chunked;
        int left;
    };
    using M = CConnInfo;
    const Case cases[] = {
        {{"HTTP/1.1 304 Not Modified", "Content-Length: 100", ""}, M::kMethodGet, false, 0},
        {{"HTTP/1.1 204 No Content", ""}, M::kMethodGet, false, 0},
        {{"HTTP/1.1 100 Continue", ""}, M::kMethodPost, false, 0},
        {{"HTTP/1.1 200 OK", "Content-Length:  42", ""}, M::kMethodGet, false, 42},
        {{"HTTP/1.1 200 OK", "Content-Length: 42", ""}, M::kMethodHead, false, 0},
        {{"HTTP/1.1 200 OK", "Transfer-Encoding: chunked", ""}, M::kMethodHead, false, 0},
        {{"HTTP/1.1 200 OK", "Transfer-Encoding: gzip, Chunked", ""}, M::kMethodGet, true, -1},
        {{"HTTP/1.1 200 OK", ""}, M::kMethodGet, false, -1},
    };
    for (const auto& c : cases) {
        CConnInfo info;
        Lines lines(c.lines);
        const auto framing = info.ParseHead(lines, CConnInfo::kParseResponse, c.method);
        EXPECT_EQ(framing.chunked, c.chunked) << *(c.lines.begin() + 1);
        EXPECT_EQ(framing.bodyBytesLeft, c.left) << *(c.lines.begin() + 1);
    }

    // Chunks decide the length: a length beside them is not passed on.
    CConnInfo info;
    Lines lines{"HTTP/1.1 200 OK", "Content-Length: 10", "Transfer-Encoding: chunked", ""};
    EXPECT_TRUE(info.ParseHead(lines, CConnInfo::kParseResponse).chunked);
    EXPECT_FALSE(info.HasHeader("Content-Length"));
}

TEST(ConnInfoParse, InterimResponses) {
    for (int status : {100, 101, 102, 199, 200}) {
        CConnInfo info;
        info.InitResponse(status);
        const bool interim = status != 101 && status < 200;
        EXPECT_EQ(info.IsInterimResponse(), interim) << status;
        EXPECT_EQ(info.HasBody(), !interim && status != 101) << status;
    }
    EXPECT_FALSE(
        ParseLines({"GET http://h/ HTTP/1.1"}, CConnInfo::kParseRequest).IsInterimResponse());
}

TEST(ConnInfoParse, RequestBodyFraming) {
    {
        // Chunked wins over a length, which is dropped; the browser
        // connection must close after the answer.
        CConnInfo info;
        Lines lines{"POST http://h/ HTTP/1.1", "Content-Length: 5", "Transfer-Encoding: Chunked",
                    ""};
        const auto framing = info.ParseHead(lines, CConnInfo::kParseRequest);
        EXPECT_TRUE(framing.chunked);
        EXPECT_FALSE(info.HasHeader("Content-Length"));
        EXPECT_EQ(Header(info, "Transfer-Encoding"), "chunked");
        EXPECT_TRUE(info.CloseAfterResponse());
        const CIString head = info.BuildHead();
        EXPECT_NE(head.find("\r\nTransfer-Encoding: chunked\r\n"), CIString::npos) << head;
    }
    {
        CConnInfo info;
        Lines lines{"POST http://h/ HTTP/1.1", "Transfer-Encoding:  chunked  ", ""};
        EXPECT_TRUE(info.ParseHead(lines, CConnInfo::kParseRequest).chunked);
        EXPECT_FALSE(info.CloseAfterResponse());
        EXPECT_EQ(Header(info, "Transfer-Encoding"), "chunked");
    }
    {
        // Repeated equal lengths are one length.
        CConnInfo info;
        Lines lines{"POST http://h/ HTTP/1.1", "Content-Length: 7", "Content-Length: 7, 7", ""};
        EXPECT_EQ(info.ParseHead(lines, CConnInfo::kParseRequest).bodyBytesLeft, 7);
        EXPECT_EQ(info.Headers().count("Content-Length"), 1u);
    }
    const std::initializer_list<const char*> bad[] = {
        {"POST http://h/ HTTP/1.1", "Content-Length: 5", "Content-Length: 6", ""},
        {"POST http://h/ HTTP/1.1", "Content-Length: 5, 6", ""},
        {"POST http://h/ HTTP/1.1", "Content-Length: -1", ""},
        {"POST http://h/ HTTP/1.1", "Content-Length: 12abc", ""},
        {"POST http://h/ HTTP/1.1", "Content-Length: 99999999999999999999", ""},
        {"POST http://h/ HTTP/1.1", "Transfer-Encoding: xchunked", ""},
        {"POST http://h/ HTTP/1.1", "Transfer-Encoding: chunked, identity", ""},
        {"POST http://h/ HTTP/1.1", "Transfer-Encoding: gzip", ""},
        {"POST http://h/ HTTP/1.1", "Transfer-Encoding: chunked", "Transfer-Encoding: chunked", ""},
        {"POST http://h/ HTTP/1.1", "Transfer-Encoding:", " chunked", ""},
        {"POST http://h/ HTTP/1.1", "Content-Length: 1", " 000", ""},
    };
    for (const auto& head : bad) {
        CConnInfo info;
        Lines lines(head);
        EXPECT_EQ(ParseStatus(info, lines, CConnInfo::kParseRequest), 400) << *(head.begin() + 1);
    }
}

TEST(ConnInfoParse, HeadBounds) {
    const auto parse = [](int mode, int fields, std::size_t valueSize) {
        std::vector<std::string> head{mode == CConnInfo::kParseRequest ? "GET http://h/ HTTP/1.1"
                                                                       : "HTTP/1.1 200 OK"};
        for (int i = 0; i < fields; ++i)
            head.push_back("X-" + std::to_string(i) + ": " + std::string(valueSize, 'v'));
        head.emplace_back("");
        CConnInfo info;
        Lines lines(head);
        return ParseStatus(info, lines, mode);
    };
    EXPECT_EQ(parse(CConnInfo::kParseRequest, 100, 10), 0);
    EXPECT_EQ(parse(CConnInfo::kParseRequest, 101, 10), 400);
    EXPECT_EQ(parse(CConnInfo::kParseRequest, 17, 4000), 400); // over 64 KiB
    EXPECT_EQ(parse(CConnInfo::kParseRequest, 15, 4000), 0);
    EXPECT_EQ(parse(CConnInfo::kParseResponse, 101, 10), 502); // a failed attempt
    EXPECT_EQ(parse(CConnInfo::kParseResponse, 17, 4000), 502);
}

TEST(ConnInfoURL, ParseURL) {
    CConnInfo info;
    EXPECT_TRUE(info.ParseURL("HTTPS://www.example.com", false));
    EXPECT_EQ(info.Scheme(), CConnInfo::kSchemeHttps);
    EXPECT_EQ(info.Host(), "www.example.com");
    EXPECT_EQ(info.Path(), "/");
    EXPECT_EQ(info.Extension(), "com");

    EXPECT_TRUE(info.ParseURL("ftp://h/dir/.hidden", false));
    EXPECT_EQ(info.Scheme(), CConnInfo::kSchemeFtp);
    EXPECT_EQ(info.Extension(), "");

    EXPECT_TRUE(info.ParseURL("gopher://h/a.b/c", false));
    EXPECT_EQ(info.Scheme(), CConnInfo::kSchemeNone);
    EXPECT_EQ(info.Host(), "h");
    EXPECT_EQ(info.Extension(), "");

    EXPECT_TRUE(info.ParseURL("http://h/x y\x01\xC3.gif?q=a.b", false));
    EXPECT_EQ(info.Path(), "/x%20y%01%C3.gif?q=a.b");
    EXPECT_EQ(info.Extension(), "gif");

    EXPECT_TRUE(info.ParseURL("http://h/x y HTTP/1.1", true));
    EXPECT_EQ(info.Path(), "/x");

    EXPECT_TRUE(info.ParseURL("www.example.com:443", false)); // a CONNECT target
    EXPECT_EQ(info.Host(), "www.example.com");
    EXPECT_EQ(info.Port(), 443);

    EXPECT_TRUE(info.ParseURL("http://a@b@host.../p", false));
    EXPECT_EQ(info.Host(), "host");

    EXPECT_FALSE(info.ParseURL("", false));
}

TEST(ConnInfoURL, EverySpellingOfAServerIsJudgedAsOne) {
    const std::pair<const char*, const char*> cases[] = {
        {"GET http://someone:pw@h.example/p HTTP/1.1", "http://h.example/p"},
        {"GET http://allowed.example?@h.example/p HTTP/1.1", "http://h.example/p"},
        {"GET http://H.example.:8080 HTTP/1.1", "http://H.example:8080"},
        {"GET http://h.example:80/%61%2D%7e%2F%41%25%3f%zz%6 HTTP/1.1",
         "http://h.example/a-~%2FA%25%3f%zz%6"},
        {"GET https://h.example:443/ HTTP/1.1", "https://h.example/"},
        {"GET http://h.example:443/ HTTP/1.1", "http://h.example:443/"},
        {"GET http://2130706433/ HTTP/1.1", "http://127.0.0.1/"},
        {"GET http://0x7f.1:81/ HTTP/1.1", "http://127.0.0.1:81/"},
        {"GET http://0177.0.0.01/ HTTP/1.1", "http://127.0.0.1/"},
        {"GET http://127.0.0.256/ HTTP/1.1", "http://127.0.0.256/"}, // a name, not an address
        {"GET http://cafe.b0/ HTTP/1.1", "http://cafe.b0/"},
        {"GET http://[::FFFF:7F00:1]:80/ HTTP/1.1", "http://[::ffff:127.0.0.1]/"},
        {"GET http://[2001:DB8::1]:80/ HTTP/1.1", "http://[2001:db8::1]/"},
        {"GET http://h/a/./b/../../../c/%2e%2E/d/.?x=/../ HTTP/1.1", "http://h/d/?x=/../"},
        {"GET http://h/a/.. HTTP/1.1", "http://h/"},
        {"GET http://h/%%33%3%33%2541 HTTP/1.1", "http://h/%%33%3%33%2541"}, // no new escapes
        {"GET http://h/.a/..b/... HTTP/1.1", "http://h/.a/..b/..."},
        {"CONNECT x@h.example.:443 HTTP/1.1", "h.example:443"},
        {"GET /cvfile?name=%61 HTTP/1.1", "/cvfile?name=%61"}, // the proxy's own pages
    };
    for (const auto& [line, url] : cases) {
        const CConnInfo info = ParseLines({line}, CConnInfo::kParseRequest);
        EXPECT_EQ(info.RequestUri().Str(), url) << line;
    }
    // What goes to the server is the path as the browser wrote it.
    const CConnInfo escaped =
        ParseLines({"GET http://h.example/%61 HTTP/1.1"}, CConnInfo::kParseRequest);
    EXPECT_EQ(escaped.Path(), "/%61");
}

TEST(ConnInfoURL, SchemeOnlyAtTheStart) {
    CConnInfo info;
    EXPECT_TRUE(info.ParseURL("/cvrate?top=1&url=http://x", false));
    EXPECT_EQ(info.Scheme(), CConnInfo::kSchemeNone);
    EXPECT_TRUE(info.Host().empty());
    EXPECT_EQ(info.Path(), "/cvrate?top=1&url=http://x");

    EXPECT_TRUE(info.ParseURL("svn+ssh.x-y://host/p", false));
    EXPECT_EQ(info.Host(), "host");

    // Such a request-URI names no host: not a proxy request.
    Lines lines{"GET /cvrate?url=http://x/y HTTP/1.1", ""};
    const auto framing = info.ParseHead(lines, CConnInfo::kParseRequest);
    EXPECT_FALSE(framing.proxyStyle);
    EXPECT_TRUE(info.Host().empty());
}

TEST(ConnInfoURL, MakeAbsoluteURL) {
    CConnInfo page;
    page.ParseURL("http://www.example.com:8080/a/b/c.html?q=x/y", false);
    const auto resolve = [&](const char* url) {
        CIString text(url);
        page.MakeAbsoluteURL(text);
        return text;
    };
    EXPECT_EQ(resolve("https://other/x"), "https://other/x");
    EXPECT_EQ(resolve(""), "http://www.example.com:8080/a/b/c.html?q=x/y");
    EXPECT_EQ(resolve("/root file"), "http://www.example.com:8080/root%20file");
    EXPECT_EQ(resolve("d.gif"), "http://www.example.com:8080/a/b/d.gif");
    EXPECT_EQ(resolve("./../.././d.gif"), "http://www.example.com:8080/d.gif");
    EXPECT_EQ(resolve("../../../../d.gif"), "http://www.example.com:8080/d.gif");
    EXPECT_EQ(resolve("../d.gif"), "http://www.example.com:8080/a/d.gif");
    EXPECT_EQ(resolve("?page=2"), "http://www.example.com:8080/a/b/c.html?page=2");
    EXPECT_EQ(resolve("//cdn.example.net/lib.js"), "http://cdn.example.net/lib.js");
    EXPECT_EQ(resolve("find?q=a:b/c"), "http://www.example.com:8080/a/b/find?q=a:b/c");
    EXPECT_EQ(resolve("mailto:x@y"), "http://www.example.com:8080/a/b/mailto:x@y");

    CConnInfo secure;
    secure.ParseURL("https://s.example.org/", false);
    CIString url("//cdn.example.net/x");
    secure.MakeAbsoluteURL(url);
    EXPECT_EQ(url, "https://cdn.example.net/x");
}

TEST(ConnInfoMessage, ResetForTheNextMessageAndStatusTexts) {
    CConnInfo info(3);
    Lines lines{"CONNECT www.example.com:443 HTTP/1.1", "Content-Type:  text/html ; charset=x", ""};
    info.ParseHead(lines, CConnInfo::kParseRequest);
    CIString text;
    EXPECT_TRUE(info.GetMediaType(text));
    EXPECT_EQ(text, "text/html");
    info.GetFullURL(text);
    EXPECT_EQ(text, "www.example.com:443");
    info.SetLocalAddress("10.0.0.1");
    info.GetProxyAddress(text);
    EXPECT_EQ(text, "10.0.0.1:9090");
    info.SetFilterFlags(6);
    info.SetUpstreamProxy("up", 3128);

    info.Reset();
    EXPECT_TRUE(info.Headers().empty());
    EXPECT_TRUE(info.Host().empty());
    EXPECT_EQ(info.Method(), CConnInfo::kMethodUnknown);
    EXPECT_EQ(info.FilterFlags(), 0u);
    EXPECT_FALSE(info.HasProxyHost());
    EXPECT_EQ(info.ProxyPort(), 3128); // survives, as do the next ones
    EXPECT_EQ(info.LocalAddress(), "10.0.0.1");
    EXPECT_EQ(info.OwnerTag(), 3u);

    // The reason phrases browsers have always been sent, spelling included.
    EXPECT_STREQ(CConnInfo::GetStatusText(416), "Requested Range Not Statisfiable");
    EXPECT_STREQ(CConnInfo::GetStatusText(299), "Unknown error");
}
