#include "support/LoopbackPair.h"
#include "support/TempDir.h"

#include "http/CConnInfo.h"
#include "os/CBuffer.h"
#include "os/CException.h"
#include "settings/CSettings.h"
#include "web/CInternalGIFRequestHandler.h"
#include "web/InternalDispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

CInternalGIFRequestHandler& UserImage() {
    auto* handler = dynamic_cast<CInternalGIFRequestHandler*>(GetHandler("image.gif"));
    EXPECT_NE(handler, nullptr);
    return *handler;
}

std::string ImageOf(const CSettings& settings) {
    CBuffer out;
    out.Append("x");
    EXPECT_TRUE(UserImage().GetImageData(settings, out));
    return std::string(out.View().substr(1)); // appended behind what was there
}

void SetImagePath(CSettings& settings, const std::string& path) {
    settings.String(CSettings::kOptionsUserImagePath).Set(path);
}

int StatusOf(const CSettings& settings) {
    try {
        ImageOf(settings);
    } catch (const CHTMLErrException& error) {
        EXPECT_EQ(error.TemplateName(), "filenotfound.html");
        return error.Status();
    }
    return 0;
}

} // namespace

TEST(ImageHandler, ServesTheFileTheSettingNamesAndFollowsItsChanges) {
    TempDir dir;
    dir.Write("one.gif", std::string("GIF89a\0one", 10));
    dir.Write("two.gif", "GIF89a-two");
    dir.Write("TWO.gif", "GIF89a-TWO");
    CSettings settings("", nullptr, true);

    SetImagePath(settings, dir.File("one.gif"));
    EXPECT_EQ(ImageOf(settings), std::string("GIF89a\0one", 10));

    // The same setting keeps the bytes once read.
    dir.Write("one.gif", "changed on disk");
    EXPECT_EQ(ImageOf(settings), std::string("GIF89a\0one", 10));

    SetImagePath(settings, dir.File("two.gif"));
    EXPECT_EQ(ImageOf(settings), "GIF89a-two");
    // File names differ by case here: another case is another file.
    SetImagePath(settings, dir.File("TWO.gif"));
    EXPECT_EQ(ImageOf(settings), "GIF89a-TWO");
}

TEST(ImageHandler, MissingImageIsNotFound) {
    TempDir dir;
    dir.Write("ok.gif", "GIF89a-ok");
    CSettings settings("", nullptr, true);

    SetImagePath(settings, dir.File("ok.gif"));
    EXPECT_EQ(ImageOf(settings), "GIF89a-ok");
    SetImagePath(settings, dir.File("absent.gif"));
    EXPECT_EQ(StatusOf(settings), 404);
    SetImagePath(settings, "");
    EXPECT_EQ(StatusOf(settings), 404);
    SetImagePath(settings, dir.Path()); // a directory is no image
    EXPECT_EQ(StatusOf(settings), 404);

    // The error travels out of the dispatcher to the connection thread,
    // with nothing sent yet.
    SetImagePath(settings, dir.File("absent.gif"));
    LoopbackPair pair;
    pair.Write("GET /image.gif HTTP/1.1\r\n\r\n");
    CConnInfo request;
    request.ParseHead(pair.socket, CConnInfo::kParseRequest);
    EXPECT_THROW(Dispatch(settings, pair.socket, request), CHTMLErrException);
    EXPECT_FALSE(pair.socket.KeepAlive());
    EXPECT_EQ(pair.SentByProxy(), "");

    // Once the file is there again it is served.
    SetImagePath(settings, dir.File("ok.gif"));
    EXPECT_EQ(ImageOf(settings), "GIF89a-ok");
}

TEST(ImageHandler, ReloadsWhileOthersCopyOut) {
    TempDir dir;
    const std::string a(3000, 'a');
    const std::string b(5000, 'b');
    dir.Write("a.gif", a);
    dir.Write("b.gif", b);
    CSettings settingsA("", nullptr, true);
    CSettings settingsB("", nullptr, true);
    SetImagePath(settingsA, dir.File("a.gif"));
    SetImagePath(settingsB, dir.File("b.gif"));

    // Two groups with different images take turns: every copy is whole.
    std::atomic<int> torn{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                const std::string got = ImageOf((i + t) % 2 == 0 ? settingsA : settingsB);
                if (got != a && got != b)
                    ++torn;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(torn.load(), 0);
}
