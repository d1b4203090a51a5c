#include "proxy/CConnCounter.h"
#include "stats/CStatistic.h"

#include <gtest/gtest.h>

TEST(ConnCounterStatistic, CountsOpenAndAllConnections) {
    CStatistic top;
    {
        CConnCounter counter(&top);
        const auto first = counter.Register([] {});
        const auto second = counter.Register([] {});
        EXPECT_EQ(first.number, 1u);
        EXPECT_EQ(top.Connections(), 2u);
        EXPECT_EQ(top.ActiveConnections(), 2u);
        counter.Unregister(first.handle);
        EXPECT_EQ(top.Connections(), 2u);
        EXPECT_EQ(top.ActiveConnections(), 1u);
        counter.Unregister(second.handle);
        EXPECT_EQ(top.ActiveConnections(), 0u);
        // Refusals are counted apart: they never were open connections.
        counter.CountRefused();
        EXPECT_EQ(top.ValueText("RefusedConnections", false), "1");
        EXPECT_EQ(top.Connections(), 2u);
        top.Reset();
        EXPECT_EQ(top.ValueText("refusedconnections", false), "0");
    }
    CConnCounter uncounted; // without statistics it still numbers connections
    const auto only = uncounted.Register([] {});
    EXPECT_EQ(only.number, 1u);
    uncounted.Unregister(only.handle);
}
