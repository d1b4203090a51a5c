#include "support/HeadLines.h"
#include "support/LoopbackPair.h"

#include "http/ErrorPage.h"
#include "os/Paths.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>

namespace {

// A template file of the error directory that lives as long as the test.
class TemplateFile {
public:
    TemplateFile(const std::string& stem, const std::string& text)
        : m_name(stem + "-" + std::to_string(::getpid()) + ".html"),
          m_path(paths::ErrorsDir() + m_name) {
        paths::MakeDirectory(paths::ErrorsDir());
        std::ofstream(m_path, std::ios::binary) << text;
    }
    ~TemplateFile() { std::remove(m_path.c_str()); }
    bool Exists() const { return std::ifstream(m_path).good(); }
    void Rewrite(const std::string& text) const {
        std::ofstream(m_path, std::ios::binary | std::ios::trunc) << text;
    }
    const std::string& Name() const { return m_name; }

private:
    std::string m_name;
    std::string m_path;
};

const CNetAddress kClient = CNetAddress::FromV4(0xC0A80105); // 192.168.1.5

std::string Fill(const std::string& text, const CConnInfo* request, const CConnInfo* response) {
    CIString page(text);
    errorpage::FillPlaceholders(page, request, response, kClient);
    return page.Str();
}

} // namespace

TEST(ErrorPage, EveryPlaceholder) {
    CConnInfo request =
        ParseLines({"POST http://127.0.0.1:8081/a%C3%A9?x=<b>&y='1' HTTP/1.1", "Host: x"},
                   CConnInfo::kParseRequest);
    request.SetLocalAddress("10.0.0.2");
    CConnInfo response = ParseLines({"HTTP/1.1 502 Bad <Gateway>", "Content-Type: text/html; q=1"},
                                    CConnInfo::kParseResponse);

    const std::string all = "C[%C] D[%D] E[%E] H[%H] I[%I] M[%M] P[%P] R[%R] c[%c] d[%d] e[%e] "
                            "h[%h] i[%i] p[%p] s[%s] u[%u] x[%x] end%";
    std::string filled = Fill(all, &request, &response);
    // The ages of the heads (%D, %d) are whole seconds: the clock may tick
    // between parsing and filling.
    for (const char* age : {"D[", "d["}) {
        const auto at = filled.find(age) + 2;
        if (filled.compare(at, 2, "1]") == 0)
            filled[at] = '0';
    }
    EXPECT_EQ(filled,
              "C[] D[0] E[HTTP/1.1 502 Bad &lt;Gateway&gt;] H[127.0.0.1] I[127.0.0.1] M[POST] "
              "P[http] R[POST http://127.0.0.1:8081/a%C3%A9?x=&lt;b&gt;&amp;y=&#39;1&#39; "
              "HTTP/1.1] c[text/html] d[0] e[502] h[10.0.0.2:9090] i[192.168.1.5] p[8081] "
              "s[Corvane 3.0 final] u[http://127.0.0.1:8081/a%C3%A9?x=&lt;b&gt;&amp;y=&#39;1&#39;]"
              " x[%x] end%");

    const std::string time = Fill("%t", &request, &response);
    // dd/Mon/yyyy:hh:mm:ss +zzzz, as the access log writes it
    const std::string shape = "dd/Mon/dddd:dd:dd:dd sdddd";
    const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    bool same = time.size() == shape.size();
    const auto month = same ? months.find(time.substr(3, 3)) : std::string::npos;
    same = same && month != std::string::npos && month % 3 == 0;
    for (std::size_t i = 0; same && i < shape.size(); ++i) {
        if (shape[i] == 'd')
            same = std::isdigit(static_cast<unsigned char>(time[i])) != 0;
        else if (shape[i] == 's')
            same = time[i] == '+' || time[i] == '-';
        else if (i < 3 || i > 5)
            same = time[i] == shape[i];
    }
    EXPECT_TRUE(same) << time;

    EXPECT_EQ(Fill(all, nullptr, nullptr),
              "C[[no request available]] D[[no response available]] E[[no response available]] "
              "H[[no host name available]] I[[no host IP available]] M[[no request available]] "
              "P[[no request available]] R[[no request available]] c[[no response available]] "
              "d[[no request available]] e[[no response available]] h[-corva.vane-] "
              "i[192.168.1.5] p[[no request available]] s[Corvane 3.0 final] "
              "u[[no URL available]] x[%x] end%");

    // A value that itself holds a placeholder is not scanned again.
    CConnInfo tricky = ParseLines({"GET http://h/%u%R HTTP/1.1"}, CConnInfo::kParseRequest);
    EXPECT_EQ(Fill("%%u", &tricky, nullptr), "%http://h/%u%R");
    // Through the upstream proxy the proxy is what %H and %p name.
    tricky.SetUpstreamProxy("up.example", 0);
    EXPECT_EQ(Fill("%H:%p", &tricky, nullptr), "up.example:80");
}

TEST(ErrorPage, SendPageWritesHeadAndLoadsOnce) {
    TemplateFile file("test-page", "<p>%u</p><p>%e</p>");
    if (!file.Exists())
        GTEST_SKIP() << "error directory not writable";
    const CHTMLErrException prototype(nullptr, 403, file.Name().c_str(), false, false);
    CConnInfo request =
        ParseLines({"GET http://h/<script>x</script> HTTP/1.1"}, CConnInfo::kParseRequest);

    LoopbackPair browser;
    browser.socket.SetKeepAlive(true);
    browser.socket.SetProxyStyle(true);
    try {
        throw CHTMLErrException(prototype);
    } catch (const CHTMLErrException& e) {
        const std::string body = "<p>http://h/&lt;script&gt;x&lt;/script&gt;</p><p>[no response "
                                 "available]</p>";
        EXPECT_EQ(errorpage::Send(e, 9, browser.socket, &request, nullptr, kClient),
                  static_cast<long>(body.size()));
        EXPECT_EQ(browser.SentByProxy(), "HTTP/1.1 403 Forbidden\r\n"
                                         "Content-Length: " +
                                             std::to_string(body.size()) +
                                             "\r\n"
                                             "Content-type: text/html\r\n"
                                             "Pragma: no-cache\r\n"
                                             "Proxy-Connection: close\r\n"
                                             "\r\n" +
                                             body);
    }

    // A later copy uses the text already loaded, even after the file changed.
    file.Rewrite("changed");
    const CHTMLErrException copy(prototype);
    EXPECT_EQ(errorpage::Text(copy), "<p>%u</p><p>%e</p>");

    // A page allowed to keep the connection says so, under the plain name.
    TemplateFile plain("test-keep", "x");
    const CHTMLErrException keep(nullptr, 404, plain.Name().c_str(), true, false);
    LoopbackPair direct;
    direct.socket.SetKeepAlive(true);
    errorpage::Send(keep, 1, direct.socket, nullptr, nullptr, kClient);
    const std::string sent = direct.SentByProxy();
    EXPECT_NE(sent.find("\r\nConnection: keep-alive\r\n"), std::string::npos) << sent;
    EXPECT_EQ(sent.substr(0, 24), "HTTP/1.1 404 Not Found\r\n");
}

TEST(ErrorPage, LengthCoversTheFilledPage) {
    TemplateFile file("test-all", "%C%D%E%H%I%M%P%R%c%d%e%h%i%p%s%t%u %% %");
    if (!file.Exists())
        GTEST_SKIP() << "error directory not writable";
    const CHTMLErrException error(nullptr, 415, file.Name().c_str(), false, false);
    CConnInfo request =
        ParseLines({"GET http://127.0.0.1/\"x\" HTTP/1.1"}, CConnInfo::kParseRequest);
    CConnInfo response =
        ParseLines({"HTTP/1.1 200 OK", "Content-type: a/<b>"}, CConnInfo::kParseResponse);
    LoopbackPair browser;
    const long sent = errorpage::Send(error, 2, browser.socket, &request, &response, kClient);
    const std::string all = browser.SentByProxy();
    const auto end = all.find("\r\n\r\n");
    ASSERT_NE(end, std::string::npos);
    const std::string body = all.substr(end + 4);
    EXPECT_EQ(static_cast<long>(body.size()), sent);
    EXPECT_NE(all.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(all.substr(0, 37), "HTTP/1.1 415 Unsupported Media Type\r\n");
    EXPECT_EQ(body.find('<'), std::string::npos) << body;
    EXPECT_EQ(body.find('"'), std::string::npos) << body;
    EXPECT_EQ(body.substr(body.size() - 5), " %% %");
}

TEST(ErrorPage, MidBodyErrorAddsOnlyThePage) {
    TemplateFile file("test-mid", "[error %e]");
    if (!file.Exists())
        GTEST_SKIP() << "error directory not writable";
    const CHTMLErrException error(nullptr, 500, file.Name().c_str(), false, false);
    CConnInfo response = ParseLines({"HTTP/1.1 200 OK"}, CConnInfo::kParseResponse);
    LoopbackPair browser;
    browser.socket.SendText("partial body ");
    errorpage::Send(error, 1, browser.socket, nullptr, &response, kClient);
    EXPECT_EQ(browser.SentByProxy(), "partial body [error 200]");
}

TEST(ErrorPage, DefaultPageNamesTheTemplate) {
    const CIString page = errorpage::LoadTemplate("no-such-template.html");
    EXPECT_LE(page.size(), 499u);
    EXPECT_NE(page.find("template \"no-such-template.html\" could not be found"), CIString::npos);
    EXPECT_EQ(page.substr(0, 44), "<html><head><title>Corvane - Error</title></");

    // A long name cuts the page.
    const CIString cut = errorpage::LoadTemplate(CIString(300, 'n'));
    EXPECT_EQ(cut.size(), 499u);

    TemplateFile empty("test-empty", "");
    EXPECT_NE(errorpage::LoadTemplate(CIString(empty.Name())).find("could not be found"),
              CIString::npos);
}

TEST(ErrorPage, ShippedTemplatesUsePlaceholdersOnly) {
    // Every predefined error has its template in the source tree, and each
    // one's % signs all name placeholders.
    for (const auto* error :
         {&errors::NoProxyRequest(), &errors::BadRequest(), &errors::CannotConnect(),
          &errors::RequestBlocked(), &errors::InternalError(), &errors::MediaTypeBlocked(),
          &errors::FileNotFound()}) {
        std::string path(__FILE__);
        path.erase(path.rfind("/tests/") + 1);
        path += "share/errors/" + error->TemplateName().Str();
        std::ifstream in(path);
        ASSERT_TRUE(in.good()) << path;
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        for (std::size_t i = text.find('%'); i != std::string::npos; i = text.find('%', i + 2))
            EXPECT_NE(std::string("CDEHIMPRcdehipstu").find(text.at(i + 1)), std::string::npos)
                << path << " at " << i;
        EXPECT_NE(text.find("%u"), std::string::npos) << path;
    }
}

TEST(ErrorPage, RedirectWritesOnlyItsHead) {
    const CRedirectException redirect(CIString("http://blocked.example/why"));
    CIString text;
    redirect.GetMessage(text);
    EXPECT_EQ(text, "Redirect the user to: http://blocked.example/why");
    EXPECT_FALSE(redirect.KeepAliveAllowed());

    LoopbackPair browser;
    browser.socket.SetKeepAlive(true);
    EXPECT_EQ(errorpage::Send(redirect, 4, browser.socket, nullptr, nullptr, kClient), 0);
    EXPECT_EQ(browser.SentByProxy(), "HTTP/1.1 301 Moved Permanently\r\n"
                                     "Connection: close\r\n"
                                     "Location: http://blocked.example/why\r\n"
                                     "\r\n");
}
