#include "os/CActionTimer.h"
#include "os/CCriticalSection.h"
#include "os/CUnixThread.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

class CountingAction : public CTimedAction {
public:
    explicit CountingAction(int interval) : CTimedAction(interval) {}
    void Execute() override { ++runs; }
    int runs = 0;
};

} // namespace

TEST(ActionTimer, RunsAnActionAtTheFirstScanAfterItIsDue) {
    CActionTimer timer;
    CountingAction save(30);
    const std::time_t t = 1000;
    timer.Add(&save, t);

    timer.Tick(t); // the first tick scans at once and finds nothing due
    EXPECT_EQ(save.runs, 0);
    timer.Tick(t + 29);
    EXPECT_EQ(save.runs, 0);
    timer.Tick(t + 30);
    EXPECT_EQ(save.runs, 1);
    timer.Tick(t + 45); // not scanned again before the minimum interval
    EXPECT_EQ(save.runs, 1);
    timer.Tick(t + 60);
    EXPECT_EQ(save.runs, 2);
}

TEST(ActionTimer, ScansAtTheSmallestIntervalEverAdded) {
    CActionTimer timer;
    CountingAction slow(120), fast(10);
    timer.Add(&slow, 0);
    timer.Tick(0);
    timer.Add(&fast, 0);
    timer.Tick(10);
    EXPECT_EQ(fast.runs, 1);
    EXPECT_EQ(slow.runs, 0);
    timer.Tick(120);
    EXPECT_EQ(slow.runs, 1);
}

TEST(ActionTimer, RemoveAndFlush) {
    CActionTimer timer;
    CountingAction a(30), b(30), stranger(30);
    timer.Add(&a, 0);
    timer.Add(&b, 0);
    timer.Remove(&stranger); // not listed: nothing changes
    EXPECT_EQ(timer.Count(), 2u);
    timer.Flush(5);
    EXPECT_EQ(a.runs, 1);
    EXPECT_EQ(b.runs, 1);
    EXPECT_EQ(a.Due(), 35);
    timer.Remove(&a);
    timer.Flush(6);
    EXPECT_EQ(a.runs, 1);
    EXPECT_EQ(b.runs, 2);
}

TEST(ActionTimer, ProcessWideTimerRunsRegisteredActions) {
    CActionTimer::FlushAll(); // before any registration: nothing happens
    CountingAction action(30);
    CActionTimer::Register(&action);
    CActionTimer::FlushAll();
    CActionTimer::Unregister(&action);
    CActionTimer::FlushAll();
    EXPECT_EQ(action.runs, 1);
}

TEST(CriticalSection, SerialisesConcurrentUpdates) {
    CCriticalSection lock;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                StCritical guard(lock);
                ++counter;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(counter, 80000);
    EXPECT_TRUE(lock.TryLock()); // released by every guard
    lock.Unlock();
}

namespace {

class SignallingThread : public CUnixThread {
public:
    SignallingThread(std::atomic<int>& done, std::atomic<bool>& destroyed)
        : m_done(done), m_destroyed(destroyed) {}
    ~SignallingThread() override { m_destroyed = true; }

protected:
    void Run() override {
        char deep[64 * 1024]; // a connection thread needs at least this much stack
        deep[sizeof deep - 1] = 1;
        m_done = deep[sizeof deep - 1];
    }

private:
    std::atomic<int>& m_done;
    std::atomic<bool>& m_destroyed;
};

} // namespace

TEST(UnixThread, RunsDetachedAndDeletesItself) {
    std::atomic<int> done{0};
    std::atomic<bool> destroyed{false};
    ASSERT_TRUE(CUnixThread::Start(std::make_unique<SignallingThread>(done, destroyed)));
    for (int i = 0; i < 500 && !destroyed; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(done, 1);
    EXPECT_TRUE(destroyed);
}
