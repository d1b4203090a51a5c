// GIF images through the daemon: each animation mode and banners by header
// size, as a browser receives them, and a 50 MB image streamed in bounded
// memory.

#include "e2e/Daemon.h"
#include "support/Browser.h"
#include "support/GIFImages.h"
#include "support/Origin.h"

#include "web/CInternalGIFRequestHandler.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <map>

using namespace e2e;
using namespace std::chrono_literals;
using testsupport::IdentifyGIF;

namespace {

std::string AnimFilter(const std::string& repeat, const std::string& noAnim) {
    return "[AnimFilter]\nEnabled=1\nRepeat=" + repeat + "\nNoAnim=" + noAnim +
           "\nOnlyFirst=" + (repeat == "0" && noAnim == "0" ? "1" : "0") + "\nRepeatCount=2\n";
}

int StatValue(const std::string& stats, const std::string& key) {
    const std::string text = "\n" + stats;
    const auto at = text.find("\n" + key + "=");
    return at == std::string::npos ? -1 : std::stoi(text.substr(at + key.size() + 2));
}

// Every GIF request gets the image its path names.
class GIFOrigin : public Origin {
public:
    explicit GIFOrigin(const std::map<std::string, const std::string*>& images)
        : Origin([images](const OriginRequest& request) {
              const auto it = images.find(request.Target());
              return it == images.end() ? Reply::Text(404, "none")
                                        : Reply::Text(200, *it->second, "", "image/gif");
          }) {}
};

// The daemon's peak resident memory in kB, from /proc.
long PeakKB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:"))
            return std::stol(line.substr(6));
    return -1;
}

// A GIF of one 1000x1000 image whose data are bytes sub-blocks of 255 bytes
// (not valid picture data: the washer walks the blocks, it never decodes).
std::string HugeGIF(std::size_t bytes) {
    std::string gif("GIF89a\xE8\x03\xE8\x03\x80\x00\x00"
                    "\x00\x00\x00\xFF\xFF\xFF"
                    ",\x00\x00\x00\x00\xE8\x03\xE8\x03\x00\x08",
                    30);
    gif.reserve(bytes + 512);
    std::string block(256, '\x55');
    block[0] = '\xFF';
    while (gif.size() < bytes)
        gif += block;
    gif += std::string("\x00;", 2);
    return gif;
}

class GIFWasherE2E : public ::testing::Test {
protected:
    void SetUp() override {
        m_loop = testsupport::MakeGIF("-size 8x8 xc:red xc:blue xc:lime -loop 0");
        m_static = testsupport::MakeGIF("-size 8x8 xc:red");
        m_banner = testsupport::MakeGIF("-size 468x60 xc:red");
        if (m_loop.empty() || m_static.empty() || m_banner.empty())
            GTEST_SKIP() << "ImageMagick's convert is not installed";
    }

    // The image at path as the browser receives it through the proxy.
    Response Fetch(const ProxyDaemon& proxy, const Origin& origin, const std::string& path,
                   const std::string& fields = "", std::chrono::milliseconds limit = 5s) {
        Browser browser(proxy.Port());
        EXPECT_TRUE(browser.Get(origin.Url(path), fields));
        Response response = browser.Read(false, limit);
        EXPECT_TRUE(response.complete) << path << "\n" << response.head;
        return response;
    }

    const std::string trans{CInternalGIFRequestHandler::TransparentImage()};
    std::string m_loop, m_static, m_banner;
};

} // namespace

TEST_F(GIFWasherE2E, FirstImageOnly) {
    GIFOrigin origin({{"/anim.gif", &m_loop}, {"/still.gif", &m_static}});
    ProxyDaemon proxy(AnimFilter("0", "0"));
    ASSERT_TRUE(proxy.Ready());
    const Response anim = Fetch(proxy, origin, "/anim.gif");
    EXPECT_EQ(IdentifyGIF(anim.body), "1 0");
    EXPECT_TRUE(anim.chunked); // shorter than the server's length
    EXPECT_EQ(anim.body.substr(0, anim.body.size() - 1), m_loop.substr(0, anim.body.size() - 1));
    EXPECT_EQ(Fetch(proxy, origin, "/still.gif").body, m_static);
    ASSERT_EQ(proxy.Stop(), 0);
    const std::string stats = proxy.ReadFile("var/log/corvand/corvand.stat");
    EXPECT_EQ(StatValue(stats, "FilteredImages"), 1) << stats;
    EXPECT_EQ(StatValue(stats, "ImagesReceived"), 2) << stats;
}

TEST_F(GIFWasherE2E, RepeatCountAndA50MBImageInFlatMemory) {
    const std::string huge = HugeGIF(50u << 20);
    GIFOrigin origin({{"/anim.gif", &m_loop}, {"/huge.gif", &huge}});
    ProxyDaemon proxy(AnimFilter("1", "0"));
    ASSERT_TRUE(proxy.Ready());
    const Response anim = Fetch(proxy, origin, "/anim.gif");
    EXPECT_EQ(IdentifyGIF(anim.body), "3 3"); // two repeats: three plays
    EXPECT_EQ(anim.body.size(), m_loop.size());

    const long before = PeakKB(proxy.Pid());
    const auto start = std::chrono::steady_clock::now();
    const Response big = Fetch(proxy, origin, "/huge.gif", "", 60s);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    const long after = PeakKB(proxy.Pid());
    EXPECT_EQ(big.body.size(), huge.size());
    EXPECT_TRUE(big.body == huge);
    EXPECT_GT(before, 0);
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed blocks in quarantine (256 MB by default):
    // the daemon's peak memory then tells nothing about what it holds.
    (void)after;
#else
    EXPECT_LT(after, 40 * 1024) << "peak resident memory in kB";
#endif
    std::printf("[ 50 MB GIF ] daemon VmHWM %ld kB before, %ld kB after; %lld ms\n", before, after,
                static_cast<long long>(took.count()));
}

TEST_F(GIFWasherE2E, NoAnimationReplacesAnimations) {
    GIFOrigin origin({{"/anim.gif", &m_loop}, {"/still.gif", &m_static}});
    ProxyDaemon proxy(AnimFilter("0", "1"));
    ASSERT_TRUE(proxy.Ready());
    EXPECT_EQ(Fetch(proxy, origin, "/anim.gif").body, trans);
    EXPECT_EQ(Fetch(proxy, origin, "/still.gif").body, m_static);
}

TEST_F(GIFWasherE2E, BannerByHeaderSize) {
    GIFOrigin origin({{"/banner.gif", &m_banner}});
    ProxyDaemon proxy("[AnimFilter]\nEnabled=0\n[DimFilter]\nEnabled=1\nImages=1\nNoHeaderDim=0\n");
    ASSERT_TRUE(proxy.Ready());
    // A 468x60 image on another server's page is a banner; on its own
    // server's page it is not.
    EXPECT_EQ(Fetch(proxy, origin, "/banner.gif", "Referer: http://news.example.net/\r\n").body,
              trans);
    EXPECT_EQ(
        Fetch(proxy, origin, "/banner.gif", "Referer: " + origin.Url("/page.html") + "\r\n").body,
        m_banner);
}
