// Both address families through the real daemon: browsers and servers on
// 127.0.0.1 and on ::1, IPv6 literals in URLs and tunnels, groups, logs and
// error pages that name IPv6 addresses.

#include "e2e/Daemon.h"
#include "support/Browser.h"
#include "support/Origin.h"

#include <gtest/gtest.h>

#include <fstream>
#include <netdb.h>
#include <sys/socket.h>

using namespace e2e;

namespace {

const char* kLogged = "[ProxyEngine]\nAccessLog=1\nAccessLogLookup=0\nAccessLogNoLocal=0\n";
const std::string kAccessLog = "var/log/corvand/access.log";

Reply Named(const OriginRequest& request) {
    return Reply::Text(200, "origin:" + request.Target());
}

// Whether the resolver gives "localhost" in both families.
bool LocalhostHasBothFamilies() {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo("localhost", nullptr, &hints, &found) != 0)
        return false;
    bool v4 = false;
    bool v6 = false;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        v4 = v4 || a->ai_family == AF_INET;
        v6 = v6 || a->ai_family == AF_INET6;
    }
    freeaddrinfo(found);
    return v4 && v6;
}

} // namespace

TEST(IPv6E2E, BrowsersOfEitherFamilyReachServersOfEitherFamily) {
    if (!HasIPv6Loopback())
        GTEST_SKIP() << "no IPv6 loopback";
    Origin four(Named);
    Origin six(Named, true);
    ASSERT_NE(six.Port(), 0);
    ProxyDaemon proxy(kLogged);
    ASSERT_TRUE(proxy.Ready());

    for (const bool overIPv6 : {false, true}) {
        Browser browser(proxy.Port(), overIPv6);
        ASSERT_TRUE(browser.Connected()) << "over IPv6: " << overIPv6;
        for (const Origin* origin : {&four, &six}) {
            ASSERT_TRUE(browser.Get(origin->Url("/both")));
            const Response response = browser.Read();
            EXPECT_EQ(response.status, 200) << response.head;
            EXPECT_EQ(response.body, "origin:/both");
        }
    }
    // The server is told its host with the brackets of a URL.
    ASSERT_TRUE(six.WaitForRequests(2));
    EXPECT_EQ(six.Requests().front().Header("Host"), "[::1]:" + std::to_string(six.Port()));

    // Each client under its own address: an IPv4 one never in its mapped form.
    ASSERT_EQ(proxy.Stop(), 0);
    const std::string log = proxy.ReadFile(kAccessLog);
    const std::string toSix = "\"GET " + six.Url("/both") + " HTTP/1.1\" 200 12 ";
    EXPECT_NE(log.find("127.0.0.1 - - ["), std::string::npos) << log;
    EXPECT_NE(log.find("\n::1 - - ["), std::string::npos) << log;
    EXPECT_NE(log.find(toSix), std::string::npos) << log;
    EXPECT_EQ(log.find("::ffff:"), std::string::npos) << log;
}

TEST(IPv6E2E, ANameOfBothFamiliesReachesWhicheverListens) {
    if (!HasIPv6Loopback() || !LocalhostHasBothFamilies())
        GTEST_SKIP() << "localhost does not resolve to both ::1 and 127.0.0.1 here";
    Origin four(Named);
    Origin six(Named, true);
    ProxyDaemon proxy;
    ASSERT_TRUE(proxy.Ready());
    Browser browser(proxy.Port());
    for (const Origin* origin : {&four, &six}) {
        ASSERT_TRUE(browser.Get("http://localhost:" + std::to_string(origin->Port()) + "/name"));
        const Response response = browser.Read(false, std::chrono::seconds(10));
        EXPECT_EQ(response.status, 200) << response.head;
        EXPECT_EQ(response.body, "origin:/name");
    }
}

TEST(IPv6E2E, TunnelToAnIPv6Literal) {
    if (!HasIPv6Loopback())
        GTEST_SKIP() << "no IPv6 loopback";
    Origin six(Named, true);
    ProxyDaemon proxy;
    ASSERT_TRUE(proxy.Ready());
    Browser browser(proxy.Port(), true);
    const std::string target = "[::1]:" + std::to_string(six.Port());
    ASSERT_TRUE(browser.Send("CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n"));
    const Response established = browser.Read(true);
    ASSERT_EQ(established.status, 200) << established.head;
    ASSERT_TRUE(browser.Send("GET /inside HTTP/1.1\r\nHost: tunnel\r\n\r\n"));
    EXPECT_EQ(browser.Read().body, "origin:/inside");

    // Brackets that close nothing are a bad request.
    Browser broken(proxy.Port(), true);
    ASSERT_TRUE(broken.Send("CONNECT [::1:443 HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(broken.Read().status, 400);
}

TEST(IPv6E2E, GroupsLogsAndPagesKnowIPv6Clients) {
    if (!HasIPv6Loopback())
        GTEST_SKIP() << "no IPv6 loopback";
    Origin four(Named);
    // The IPv6 loopback client belongs to a group whose requests go unlogged.
    ProxyDaemon proxy(kLogged, "[Groups.List]\nsix = ::/127\n");
    ASSERT_TRUE(proxy.Ready());
    std::ofstream(proxy.GetRoot().Path("etc/corvand/six.conf")) << "[ProxyEngine]\nAccessLog=0\n";

    Browser fromSix(proxy.Port(), true);
    ASSERT_TRUE(fromSix.Get(four.Url("/six")));
    EXPECT_EQ(fromSix.Read().status, 200);
    Browser fromFour(proxy.Port());
    ASSERT_TRUE(fromFour.Get(four.Url("/four")));
    EXPECT_EQ(fromFour.Read().status, 200);

    // The error page names the server and the client as IPv6 addresses.
    const std::uint16_t closed = FreePort();
    Browser lost(proxy.Port(), true);
    ASSERT_TRUE(lost.Get("http://[::1]:" + std::to_string(closed) + "/gone"));
    const Response page = lost.Read(false, std::chrono::seconds(10));
    EXPECT_EQ(page.status, 500) << page.head;
    EXPECT_NE(page.body.find("<code>::1</code> (address ::1), port " + std::to_string(closed)),
              std::string::npos)
        << page.body;
    EXPECT_NE(page.body.find("/gone from ::1, "), std::string::npos) << page.body;

    ASSERT_EQ(proxy.Stop(), 0);
    const std::string log = proxy.ReadFile(kAccessLog);
    EXPECT_NE(log.find("/four HTTP/1.1\" 200"), std::string::npos) << log;
    EXPECT_EQ(log.find("/six HTTP/1.1"), std::string::npos) << log;
}
