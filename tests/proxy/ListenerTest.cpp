#include "proxy/CListenerThread.h"
#include "settings/CSettingsCache.h"
#include "support/Tcp.h"
#include "support/TempDir.h"

#include <arpa/inet.h>
#include <chrono>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

bool WaitFor(auto condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

TEST(ConnCounter, NumbersFromOneAndCountsOpenConnections) {
    CConnCounter counter;
    auto first = counter.Register([] {});
    auto second = counter.Register([] {});
    EXPECT_EQ(first.number, 1u);
    EXPECT_EQ(second.number, 2u);
    EXPECT_EQ(counter.Active(), 2u);
    counter.Unregister(first.handle);
    EXPECT_EQ(counter.Active(), 1u);
    EXPECT_EQ(counter.Total(), 2u);
    counter.Unregister(second.handle);
}

TEST(ConnCounter, AbortAllWaitsForEveryConnection) {
    CConnCounter counter;
    std::atomic<int> aborted{0};
    std::vector<std::thread> threads;
    std::vector<std::atomic<bool>> stop(3);
    for (int i = 0; i < 3; ++i) {
        auto registration = counter.Register([&, i] {
            ++aborted;
            stop[i] = true;
        });
        threads.emplace_back([&, i, handle = registration.handle] {
            while (!stop[i])
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            counter.Unregister(handle);
        });
    }
    counter.AbortAllAndWait();
    EXPECT_EQ(aborted, 3);
    EXPECT_EQ(counter.Active(), 0u);
    for (auto& thread : threads)
        thread.join();
    counter.AbortAllAndWait(); // nothing open: returns at once
}

TEST(Listener, AcceptsCountsAndClosesConnectionsAtStop) {
    TempDir dir;
    CSettingsCache cache{CSettingsManager::Files(dir.Path())};
    auto listener = std::make_unique<CListenerThread>();
    ASSERT_TRUE(listener->Listen(0));
    const std::uint16_t port = listener->Port();
    ASSERT_NE(port, 0);

    const int a = e2e::Connect(port);
    const int b = e2e::Connect(port);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    ASSERT_TRUE(WaitFor([&] { return listener->Counter().Active() == 2; }));

    ::close(a); // a browser that leaves unregisters
    ASSERT_TRUE(WaitFor([&] { return listener->Counter().Active() == 1; }));
    EXPECT_EQ(listener->Counter().Total(), 2u);

    listener.reset(); // graceful stop: the open connection is closed by the proxy
    EXPECT_TRUE(e2e::PeerClosed(b));
    ::close(b);
    EXPECT_LT(e2e::Connect(port), 0); // no longer listening
}

TEST(Listener, SecondListenerOnABoundPortFails) {
    CListenerThread first;
    ASSERT_TRUE(first.Listen(0));
    CListenerThread second;
    EXPECT_FALSE(second.Listen(first.Port()));
}
