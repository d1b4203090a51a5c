#include "e2e/Daemon.h"
#include "support/Browser.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

using namespace e2e;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(SettingsE2E, FirstStartCreatesStartAndDefaultsFiles) {
    Root root;
    const std::string startConf = root.Path("etc/corvand/start.conf");
    const std::string defaultsConf = root.Path("etc/corvand/corvand.conf");

    // Any invocation reads the start settings first, and creates them.
    std::filesystem::remove(startConf);
    ASSERT_EQ(RunCorvand({"-v"}).exitCode, 0);
    const std::string start = ReadFile(startConf);
    EXPECT_EQ(start.rfind("[Mail]\nRecipient='root@localhost'\nSmtp-Server='localhost'\n"
                          "[Options]\nMergeSettings=0\n"
                          "[ProxyEngine]\nEffectiveGroup='corvand'\nEffectiveUser='corvand'\n"
                          "LocalPort=9090\nUseHTTP11=1\n",
                          0),
              0u)
        << start;
    EXPECT_NE(start.find("[WebInterface]\nDefaultPassword='tarnivelo'\n[Groups.List]\n"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(defaultsConf));

    // The working process creates the defaults file when it starts.
    root.WriteStartConf();
    Foreground daemon;
    ASSERT_EQ(daemon.FirstLine(), "pid: " + std::to_string(daemon.Pid()) + "\n");
    ASSERT_TRUE(WaitUntil([&] {
        const int fd = Connect(root.Port());
        if (fd >= 0)
            ::close(fd);
        return fd >= 0;
    }));
    const std::string defaults = ReadFile(defaultsConf);
    EXPECT_EQ(defaults.rfind("[AccessControl]\nBlock=0\nBlockTo=''\nEnabled=0\n[AnimFilter]\n", 0),
              0u)
        << defaults;
    EXPECT_NE(defaults.find("[ImageFilter.DimensionList]\n60,52\n80,340\n"), std::string::npos);
    EXPECT_NE(defaults.find("[MediaFilter]\nAllowNoMediaType=0\n"), std::string::npos);
    // The start file the test wrote stays as it was.
    EXPECT_EQ(ReadFile(startConf).find("UseHTTP11"), std::string::npos);

    // One request answered (a non-proxy request: its error page), so that both
    // connections were certainly accepted before the stop.
    Browser browser(root.Port());
    ASSERT_TRUE(browser.Send("GET /nothing-here HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(browser.Read().status, 400);

    ::kill(daemon.Pid(), SIGTERM);
    EXPECT_EQ(daemon.Wait(), 0);
    // A graceful stop saves the statistics.
    const std::string statistics = ReadFile(root.Path("var/log/corvand/corvand.stat"));
    EXPECT_EQ(statistics.rfind("FilteredImages=0\n", 0), 0u) << statistics;
    EXPECT_NE(statistics.find("\nRequests=1\n"), std::string::npos) << statistics;
    EXPECT_NE(statistics.find("\nConnections=2\nResetTimeDay="), std::string::npos) << statistics;
}

TEST(SettingsE2E, PortOutsideTheTCPRangeIsRefused) {
    Root root;
    for (const char* port : {"70000", "0", "none"}) {
        std::ofstream(root.Path("etc/corvand/start.conf"))
            << "[ProxyEngine]\nEffectiveUser='nouser-corvand-test'\nLocalPort=" << port << "\n";
        Foreground daemon;
        EXPECT_EQ(daemon.Wait(), 1) << port;
    }
}
