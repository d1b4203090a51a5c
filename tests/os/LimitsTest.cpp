#include "os/Limits.h"

#include <gtest/gtest.h>

TEST(Limits, ParseTakesOnlyKnownNamesWithPlainPositiveNumbers) {
    struct Case {
        const char* text;
        int head, idle, server, interim, connections;
    };
    const Limits d;
    const Case cases[] = {
        {"", d.requestHeadMs, d.browserIdleMs, d.serverReadMs, d.maxInterim, d.maxConnections},
        {"head=200,idle=300,server=400,interim=2,connections=8", 200, 300, 400, 2, 8},
        // Hostile or mistyped text leaves the value as it was.
        {"head=-5,idle=0,server=12x,interim=,connections=99999999999", d.requestHeadMs,
         d.browserIdleMs, d.serverReadMs, d.maxInterim, d.maxConnections},
        {",,head,=7,unknown=3,head=250,", 250, d.browserIdleMs, d.serverReadMs, d.maxInterim,
         d.maxConnections},
        {"idle= 5,HEAD=9", d.requestHeadMs, d.browserIdleMs, d.serverReadMs, d.maxInterim,
         d.maxConnections},
    };
    for (const Case& c : cases) {
        const Limits got = Limits::Parse(c.text, Limits{});
        EXPECT_EQ(got.requestHeadMs, c.head) << c.text;
        EXPECT_EQ(got.browserIdleMs, c.idle) << c.text;
        EXPECT_EQ(got.serverReadMs, c.server) << c.text;
        EXPECT_EQ(got.maxInterim, c.interim) << c.text;
        EXPECT_EQ(got.maxConnections, c.connections) << c.text;
    }
}

TEST(Limits, ConnectionBoundLeavesRoomForServersAndFiles) {
    const std::pair<std::uint64_t, std::uint32_t> cases[] = {
        {0, 1}, {20, 1}, {67, 1}, {1024, 320}, {4096, 1344}, {1u << 20, 4096}, {UINT64_MAX, 4096},
    };
    for (const auto& [files, bound] : cases)
        EXPECT_EQ(Limits::ConnectionBound(files), bound) << files;
}
