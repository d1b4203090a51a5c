// Host lists through the daemon: tunnels and plain requests to listed hosts
// refused before anything is connected, with the statistics and the security
// log, and a changed list read by the next start.

#include "e2e/Daemon.h"
#include "support/Browser.h"
#include "support/Origin.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace e2e;

namespace {

// The origin stands in for an upstream proxy, so that every host name
// reaches it without a name lookup, and it sees whatever the proxy lets through.
std::string ViaUpstream(const Origin& upstream) {
    return "[ProxyEngine]\nClient=1\nProxyServerSec='127.0.0.1'\nProxyPortSec=" +
           std::to_string(upstream.Port()) +
           "\n[WhiteList.ListEntries]\nexempt.ads.example.net,8\n"
           "[ImageFilter.URLList]\nuser-listed.example\n";
}

Response Connect(std::uint16_t port, const std::string& target) {
    Browser browser(port);
    browser.Send("CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n");
    Response response = browser.Read();
    if (response.status == 403) {
        EXPECT_TRUE(browser.ClosedByPeer()) << target;
    }
    return response;
}

int StatValue(const std::string& stats, const std::string& key) {
    const std::string text = "\n" + stats;
    const auto at = text.find("\n" + key + "=");
    return at == std::string::npos ? -1 : std::stoi(text.substr(at + key.size() + 2));
}

} // namespace

TEST(HostListE2E, ListedHostsAreRefusedBeforeAnyConnection) {
    Origin upstream([](const OriginRequest& request) {
        if (request.RequestLine().starts_with("CONNECT "))
            return Reply::Raw("HTTP/1.1 200 Connection established\r\n\r\n", true);
        return Reply::Text(200, "upstream");
    });
    ProxyDaemon proxy(ViaUpstream(upstream));
    ASSERT_TRUE(proxy.Ready());
    ASSERT_EQ(proxy.Stop(), 0);
    const std::string list = proxy.GetRoot().Path("etc/corvand/hosts.d/ads.txt");
    std::filesystem::create_directories(std::filesystem::path(list).parent_path());
    std::ofstream(list) << "0.0.0.0 ads.example.net\n||tracker.example^\n";
    ASSERT_TRUE(proxy.Start());

    const Response refused = Connect(proxy.Port(), "x.ads.example.net:443");
    EXPECT_EQ(refused.status, 403);
    EXPECT_EQ(refused.Header("Proxy-Connection"), "close"); // named as the browser addressed us
    EXPECT_EQ(Connect(proxy.Port(), "tracker.example:443").status, 403);
    // The advertising URL lists judge tunnels by their host-only entries.
    EXPECT_EQ(Connect(proxy.Port(), "ad.example.org:443").status, 403);
    EXPECT_EQ(Connect(proxy.Port(), "user-listed.example:443").status, 403);
    {
        Browser browser(proxy.Port());
        ASSERT_TRUE(browser.Get("http://ads.example.net/banner.gif"));
        EXPECT_EQ(browser.Read().status, 403);
    }
    EXPECT_EQ(upstream.Accepts(), 0);

    EXPECT_EQ(Connect(proxy.Port(), "exempt.ads.example.net:443").status, 200);
    EXPECT_EQ(Connect(proxy.Port(), "www.example.org:443").status, 200);
    ASSERT_TRUE(upstream.WaitForRequests(2));
    EXPECT_EQ(upstream.Requests()[0].RequestLine(), "CONNECT exempt.ads.example.net:443 HTTP/1.1");

    ASSERT_EQ(proxy.Stop(), 0);
    const std::string log = proxy.ReadFile("var/log/corvand/security.log");
    EXPECT_NE(log.find("] \"CONNECT x.ads.example.net:443 HTTP/1.1\" 403 "
                       "\"Host ads.example.net\" ads.txt filter\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\"Host ~http://ad.*\" INTERN.URLDomainList filter\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("\"Host user-listed.example\" ImageFilter.URLList filter\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(StatValue(proxy.ReadFile("var/log/corvand/corvand.stat"), "BlockedRequests"), 5);

    // The next working process reads the lists as they are then.
    std::ofstream(list) << "www.example.org\n";
    ASSERT_TRUE(proxy.Start());
    EXPECT_EQ(Connect(proxy.Port(), "www.example.org:443").status, 403);
    EXPECT_EQ(Connect(proxy.Port(), "tracker.example:443").status, 200);
}
