// The configuration pages through the daemon: who may log in, what a change
// does to the files, and that the next request runs with it.

#include "e2e/Daemon.h"
#include "support/Browser.h"
#include "support/Origin.h"

#include "web/CWebConfig.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <openssl/evp.h>

using namespace e2e;

namespace {

std::string Base64(std::string_view text) {
    std::string out(4 * ((text.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

Response Request(std::uint16_t port, const std::string& method, const std::string& target,
                 const std::string& credentials, const std::string& body = "") {
    Browser browser(port);
    std::string head =
        method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
    if (!credentials.empty())
        head += "Authorization: Basic " + Base64(credentials) + "\r\n";
    if (method == "POST")
        head += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\n";
    browser.Send(head + "\r\n" + body);
    return browser.Read();
}

} // namespace

TEST(ConfigPagesE2E, WhoMayLogInAndWhatAChangeDoes) {
    const std::string settings = "[WebInterface]\nPassword='" +
                                 CWebConfig::PasswordDigest("admin-pw") +
                                 "'\n[Kept.Section]\nunknown=value\n";
    ProxyDaemon proxy(settings);
    ASSERT_TRUE(proxy.Ready());
    {
        std::ofstream(proxy.GetRoot().Path("etc/corvand/lab.conf"))
            << "[WebInterface]\nPassword='" << CWebConfig::PasswordDigest("lab-pw") << "'\n";
    }
    const struct {
        const char* target;
        const char* credentials;
        int status;
    } cases[] = {
        {"/conf", "", 401},
        {"/conf", "admin:admin-pw", 200},
        {"/conf", "ADMIN:admin-pw", 200},
        {"/conf", "admin:tarnivelo", 401}, // the default no longer holds once one is set
        {"/conf", "admin:Admin-pw", 401},
        {"/conf?UserID=lab", "lab:lab-pw", 200},
        {"/conf?UserID=lab", "admin:admin-pw", 200},
        {"/conf", "lab:lab-pw", 401}, // a user's password opens only that user's pages
        {"/conf?UserID=other", "lab:lab-pw", 401},
        {"/conf", "admin", 401}, // no colon
        {"/conf?UserID=../../tmp/x", "admin:admin-pw", 400},
        {"/conf?UserID=%3Cscript%3E", "admin:admin-pw", 400},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Request(proxy.Port(), "GET", c.target, c.credentials).status, c.status)
            << c.target << " " << c.credentials;
    EXPECT_FALSE(std::filesystem::exists(proxy.GetRoot().Path("etc/corvand/<script>.conf")));

    // A change is saved beside what the file held before, and the next
    // request through the proxy runs with it.
    Origin origin;
    Browser before(proxy.Port());
    ASSERT_TRUE(before.Get(origin.Url("/ua"), "User-Agent: Probe/1\r\n"));
    ASSERT_EQ(before.Read().status, 200);
    const Response saved =
        Request(proxy.Port(), "POST", "/conf", "admin:admin-pw",
                "navTo=proxy_engine&set=yes&ProxyEngine.DoNotModifyUserAgent=0&"
                "ProxyEngine.DoNotModifyUserAgent=1&dontUseProxyFor=a.example%0D%0Ab.example");
    ASSERT_EQ(saved.status, 200);
    EXPECT_NE(saved.body.find("a.example\nb.example</textarea>"), std::string::npos);
    Browser after(proxy.Port());
    ASSERT_TRUE(after.Get(origin.Url("/ua"), "User-Agent: Probe/1\r\n"));
    ASSERT_EQ(after.Read().status, 200);
    ASSERT_EQ(origin.Requests().size(), 2u);
    EXPECT_EQ(origin.Requests()[0].Header("User-Agent"), "Probe/1 Corvane 3.0 final");
    EXPECT_EQ(origin.Requests()[1].Header("User-Agent"), "Probe/1");

    const std::string file = proxy.ReadFile("etc/corvand/corvand.conf");
    EXPECT_NE(file.find("[Kept.Section]\nunknown=value\n"), std::string::npos) << file;
    EXPECT_NE(file.find("DontUseProxyFor='a.example;b.example'"), std::string::npos) << file;
    EXPECT_NE(file.find("DoNotModifyUserAgent=1"), std::string::npos) << file;
}

TEST(ConfigPagesE2E, RadioGroupsSetTheirBitsOnTheirOwnPage) {
    ProxyDaemon proxy;
    ASSERT_TRUE(proxy.Ready());
    const struct {
        const char* form;
        std::vector<const char*> lines; // as the settings file holds them afterwards
    } cases[] = {
        {"navTo=proxy_engine&ProxyType=kUseProxyTypeCern", {"TypeCern=1", "TypeAutomatic=0"}},
        {"navTo=proxy_engine&ProxyType=other", {"TypeCern=0", "TypeAutomatic=1"}},
        {"navTo=proxy_engine&internalRequests=kInternalByIP",
         {"SpecialInternalHostName=0", "SpecialInternalByIP=1"}},
        {"navTo=proxy_engine&internalRequests=x",
         {"SpecialInternalHostName=0", "SpecialInternalByIP=0"}},
        {"navTo=privacy&fPrivacyFlags=kNoReferPath",
         {"NoReferrer=0", "NoReferrerPath=1", "NoReferrerDomain=0"}},
        {"navTo=privacy&cookieNILType=kCookieGood&cookieExpire=cookieExpireEndSession",
         {"*,2", "ExpireBySession=1"}},
        {"navTo=standard_filter&fAnimFilterFlags=kDeAnimRem",
         {"OnlyFirst=0", "Repeat=0", "NoAnim=1"}},
        {"navTo=standard_filter&replaceImage=kRepTrans&dontFilterWithin=kNoInnerDomain",
         {"ReplaceTrans=1", "ReplaceUser=0", "NotWithinPath=0", "NotWithinDomain=1"}},
        // A group belongs to its page: elsewhere it changes nothing.
        {"navTo=privacy&fAnimFilterFlags=kDeAnimOnlyFirst", {"OnlyFirst=0", "NoAnim=1"}},
    };
    for (const auto& c : cases) {
        const Response page = Request(proxy.Port(), "POST", "/conf", "admin:tarnivelo",
                                      std::string(c.form) + "&set=yes");
        ASSERT_EQ(page.status, 200) << c.form;
        const std::string file = "\n" + proxy.ReadFile("etc/corvand/corvand.conf");
        for (const char* line : c.lines)
            EXPECT_NE(file.find("\n" + std::string(line) + "\n"), std::string::npos)
                << c.form << ": " << line;
    }
    // The page shows the choice it stored.
    const Response page =
        Request(proxy.Port(), "GET", "/conf?navTo=standard_filter", "admin:tarnivelo");
    EXPECT_NE(page.body.find("value=\"kDeAnimRem\" checked>"), std::string::npos);
    EXPECT_NE(page.body.find("value=\"kDeAnimOnlyFirst\" >"), std::string::npos);
}
