// Bodies and tunnels that no washer touches, through the real daemon: the
// exact bytes arrive whatever the size and framing, cut-off bodies stay cut
// off, and the statistics and the access log count what was relayed.

#include "e2e/Daemon.h"
#include "support/Browser.h"
#include "support/Origin.h"

#include <atomic>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace e2e;
using namespace std::chrono_literals;

namespace {

constexpr const char* kLogged =
    "[ProxyEngine]\nAccessLog=1\nAccessLogLookup=0\nAccessLogNoLocal=0\n";

// Pseudo-random bytes in a run whose length (a prime) fits no block or pipe
// size, so that a lost, doubled or reordered block shows. Repeated by copy:
// generating 100 MB byte by byte is slow under a sanitizer.
std::string Pattern(std::size_t size, unsigned seed = 1) {
    constexpr std::size_t kRun = 65521;
    std::string run(std::min(size, kRun), '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& b : run) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<char>(state >> 24);
    }
    std::string bytes;
    bytes.reserve(size);
    while (bytes.size() < size)
        bytes.append(run, 0, std::min(run.size(), size - bytes.size()));
    return bytes;
}

std::int64_t StatValue(const std::string& stats, const std::string& key) {
    const std::string text = "\n" + stats;
    const auto at = text.find("\n" + key + "=");
    return at == std::string::npos ? -1 : std::stoll(text.substr(at + key.size() + 2));
}

// The byte count of the access-log line for the request line.
std::int64_t LoggedBytes(const std::string& log, const std::string& requestLine) {
    const auto at = log.find("\"" + requestLine + "\" ");
    if (at == std::string::npos)
        return -1;
    const auto status = at + requestLine.size() + 3;
    const auto bytes = log.find(' ', status) + 1;
    return std::stoll(log.substr(bytes));
}

enum class Framing { Length, UntilClose, Chunked };

struct Totals {
    std::int64_t toClient = 0;
    std::int64_t fromClient = 0;
};

// Sends all of bytes and then ends the sending direction; false when the
// peer went away or nothing moved for the limit.
bool SendAllAndShut(int fd, std::string_view bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 10000) <= 0)
            return false;
        const ssize_t n =
            ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return ::shutdown(fd, SHUT_WR) == 0;
}

// Receives until the peer ends its side (or nothing came for the limit).
std::string ReceiveAll(int fd, std::size_t expected) {
    std::string got;
    got.reserve(expected);
    char buffer[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0)
            return got;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return got;
        got.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace

// Every size around the block and pipe boundaries, with the two framings that
// are spliced and chunks as the copied control; one daemon per framing, so
// that its statistics are the sum of these exchanges alone.
TEST(BodyRelayE2E, ExactBytesAndCountsForEverySizeAndFraming) {
    const std::vector<std::size_t> sizes = {0, 1, 65535, 65536, 65537, 10u << 20};
    const std::vector<std::string> bodies = [&] {
        std::vector<std::string> made;
        for (std::size_t i = 0; i < sizes.size(); ++i)
            made.push_back(Pattern(sizes[i], static_cast<unsigned>(i + 1)));
        return made;
    }();
    for (const Framing framing : {Framing::Length, Framing::UntilClose, Framing::Chunked}) {
        SCOPED_TRACE(static_cast<int>(framing));
        std::atomic<std::int64_t> fromServer{0};
        Origin server([&](const OriginRequest& request) {
            const std::string& body = bodies.at(std::stoul(request.Target().substr(1)));
            const std::string type = "application/octet-stream";
            Reply reply = framing == Framing::Chunked      ? Reply::Chunked(body, {70000, 3})
                          : framing == Framing::UntilClose ? Reply::UntilClose(body, type)
                                                           : Reply::Text(200, body, "", type);
            fromServer += static_cast<std::int64_t>(reply.pieces.front().size());
            return reply;
        });
        ProxyDaemon proxy(kLogged);
        ASSERT_TRUE(proxy.Ready());

        Totals proxied;
        std::vector<std::string> requestLines;
        // Keep-alive requests share a connection; an HTTP/1.0 browser reads
        // each body to the close.
        auto browser = std::make_unique<Browser>(proxy.Port());
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            SCOPED_TRACE(sizes[i]);
            const std::string url = server.Url("/" + std::to_string(i));
            const bool http10 = framing == Framing::UntilClose;
            if (http10)
                browser = std::make_unique<Browser>(proxy.Port());
            const std::string requestLine = "GET " + url + (http10 ? " HTTP/1.0" : " HTTP/1.1");
            const std::string request = requestLine + "\r\nHost: " + HostOf(url) + "\r\n\r\n";
            ASSERT_TRUE(browser->Send(request));
            const Response response = browser->Read(false, 20s);
            ASSERT_TRUE(response.complete);
            EXPECT_EQ(response.status, 200);
            EXPECT_EQ(response.body.size(), sizes[i]);
            EXPECT_TRUE(response.body == bodies[i]);
            EXPECT_EQ(response.chunked, framing == Framing::Chunked);
            if (http10) {
                EXPECT_TRUE(browser->ClosedByPeer());
            }
            proxied.fromClient += static_cast<std::int64_t>(request.size());
            if (!response.chunked)
                proxied.toClient += static_cast<std::int64_t>(response.head.size() + sizes[i]);
            requestLines.push_back(requestLine);
        }
        browser.reset();
        EXPECT_EQ(server.Accepts(), framing == Framing::UntilClose ? 6 : 1);
        std::int64_t toServer = 0;
        for (const auto& request : server.Requests())
            toServer += static_cast<std::int64_t>(request.head.size());

        ASSERT_EQ(proxy.Stop(), 0);
        const std::string log = proxy.ReadFile("var/log/corvand/access.log");
        for (std::size_t i = 0; i < sizes.size(); ++i)
            EXPECT_EQ(LoggedBytes(log, requestLines[i]), static_cast<std::int64_t>(sizes[i]))
                << log;
        const std::string stats = proxy.ReadFile("var/log/corvand/corvand.stat");
        EXPECT_EQ(StatValue(stats, "BytesReceivedFromServer"), fromServer.load()) << stats;
        EXPECT_EQ(StatValue(stats, "BytesSentToServer"), toServer) << stats;
        EXPECT_EQ(StatValue(stats, "BytesReceivedFromClient"), proxied.fromClient) << stats;
        if (framing != Framing::Chunked) {
            EXPECT_EQ(StatValue(stats, "BytesSentToClient"), proxied.toClient) << stats;
        }
    }
}

TEST(BodyRelayE2E, AServerThatClosesEarlyLeavesTheBodyShortAndTheConnectionClosed) {
    const std::string part = Pattern(300000);
    Origin origin;
    origin.Queue(Reply::Raw("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                            "Content-Length: 1000000\r\n\r\n" +
                                part,
                            true));
    ProxyDaemon proxy(kLogged);
    ASSERT_TRUE(proxy.Ready());

    Browser browser(proxy.Port());
    ASSERT_TRUE(browser.Get(origin.Url("/short")));
    const Response response = browser.Read(false, 10s);
    EXPECT_EQ(response.status, 200);
    EXPECT_FALSE(response.complete);
    // A cut-off body stays with the browser as unread bytes.
    EXPECT_TRUE(browser.Unread() == part) << browser.Unread().size();
    EXPECT_TRUE(browser.ClosedByPeer());

    ASSERT_EQ(proxy.Stop(), 0);
    EXPECT_EQ(LoggedBytes(proxy.ReadFile("var/log/corvand/access.log"),
                          "GET " + origin.Url("/short") + " HTTP/1.1"),
              static_cast<std::int64_t>(part.size()));
}

TEST(BodyRelayE2E, ABrowserThatLeavesMidBodyCostsTheServerConnection) {
    // Larger than every socket buffer on the way, so that the origin is
    // still sending when the browser goes.
    const std::string body = Pattern(6u << 20);
    Origin origin([&](const OriginRequest& request) {
        return Reply::Text(200, request.Target() == "/big" ? body : "small", "",
                           "application/octet-stream");
    });
    ProxyDaemon proxy;
    ASSERT_TRUE(proxy.Ready());

    {
        const int fd = Connect(proxy.Port());
        ASSERT_GE(fd, 0);
        const std::string request = "GET " + origin.Url("/big") +
                                    " HTTP/1.1\r\nHost: " + HostOf(origin.Url("/")) + "\r\n\r\n";
        ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(request.size()));
        char buffer[65536];
        pollfd p{fd, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 5000), 1);
        ASSERT_GT(::recv(fd, buffer, sizeof buffer, 0), 0);
        ::close(fd);
    }
    // The half-sent body leaves that server connection out of step: the
    // next request gets a fresh one.
    // Time for the proxy to notice and let go of that connection; were it
    // pooled, the next request would be answered with the rest of the body.
    std::this_thread::sleep_for(1s);
    Browser browser(proxy.Port());
    ASSERT_TRUE(browser.Get(origin.Url("/next")));
    const Response response = browser.Read(false, 10s);
    EXPECT_EQ(response.body, "small");
    EXPECT_EQ(origin.Accepts(), 2);
}

TEST(BodyRelayE2E, ATunnelCarriesAHundredMegabytesEachWayAtOnce) {
    constexpr std::size_t kSize = 100u << 20;
    const std::string up = Pattern(kSize, 7);
    const std::string down = Pattern(kSize, 8);
    std::uint16_t port = 0;
    const int listener = Listen(port);
    ASSERT_GE(listener, 0);
    std::string heard;
    std::atomic<bool> farSent{false};
    std::thread far([&] {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1)
            return;
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            return;
        std::thread sender([&] { farSent = SendAllAndShut(fd, down); });
        heard = ReceiveAll(fd, kSize);
        sender.join();
        ::close(fd);
    });
    ProxyDaemon proxy(kLogged);
    ASSERT_TRUE(proxy.Ready());

    const int fd = Connect(proxy.Port());
    ASSERT_GE(fd, 0);
    const std::string target = "127.0.0.1:" + std::to_string(port);
    const std::string connect = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n";
    ASSERT_EQ(::send(fd, connect.data(), connect.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(connect.size()));
    // The established head, read byte by byte: the far end's bytes may
    // follow it at once.
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos) {
        char c;
        pollfd p{fd, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 5000), 1);
        ASSERT_EQ(::recv(fd, &c, 1, 0), 1);
        head += c;
    }
    ASSERT_EQ(head.rfind("HTTP/1.1 200", 0), 0u) << head;

    bool nearSent = false;
    std::thread sender([&] { nearSent = SendAllAndShut(fd, up); });
    const std::string got = ReceiveAll(fd, kSize);
    sender.join();
    ::close(fd);
    far.join();
    ::close(listener);

    EXPECT_TRUE(nearSent);
    EXPECT_TRUE(farSent);
    EXPECT_EQ(got.size(), kSize);
    EXPECT_TRUE(got == down);
    EXPECT_EQ(heard.size(), kSize);
    EXPECT_TRUE(heard == up);

    ASSERT_EQ(proxy.Stop(), 0);
    EXPECT_EQ(LoggedBytes(proxy.ReadFile("var/log/corvand/access.log"),
                          "CONNECT " + target + " HTTP/1.1"),
              static_cast<std::int64_t>(kSize));
    const std::string stats = proxy.ReadFile("var/log/corvand/corvand.stat");
    EXPECT_EQ(StatValue(stats, "BytesReceivedFromServer"), static_cast<std::int64_t>(kSize));
    EXPECT_EQ(StatValue(stats, "BytesSentToServer"), static_cast<std::int64_t>(kSize));
    EXPECT_EQ(StatValue(stats, "BytesReceivedFromClient"),
              static_cast<std::int64_t>(kSize + connect.size()));
    EXPECT_EQ(StatValue(stats, "BytesSentToClient"),
              static_cast<std::int64_t>(kSize + head.size()));
}
