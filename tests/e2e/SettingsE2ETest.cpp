#include "e2e/Daemon.h"
#include "support/Browser.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace e2e;

TEST(SettingsE2E, PortOutsideTheTCPRangeIsRefused) {
    Root root;
    for (const char* port : {"70000", "0", "none"}) {
        std::ofstream(root.Path("etc/corvand/start.conf"))
            << "[ProxyEngine]\nEffectiveUser='nouser-corvand-test'\nLocalPort=" << port << "\n";
        Foreground daemon;
        EXPECT_EQ(daemon.Wait(), 1) << port;
    }
}
