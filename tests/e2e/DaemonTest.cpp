#include "e2e/Daemon.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <unistd.h>

using namespace e2e;
using namespace std::chrono_literals;

namespace {

// Starts the daemon in the background and returns the supervisor's pid.
pid_t StartDaemon(const Root& root) {
    const Outcome start = RunCorvand({});
    EXPECT_EQ(start.exitCode, 0) << start.output;
    pid_t supervisor = 0;
    EXPECT_TRUE(WaitUntil([&] {
        supervisor = ReadPidFile(root.PidFile());
        return supervisor > 0 && ChildrenOf(supervisor).size() == 1;
    }));
    EXPECT_TRUE(WaitUntil([&] {
        const int fd = Connect(root.Port());
        if (fd >= 0)
            ::close(fd);
        return fd >= 0;
    }));
    return supervisor;
}

pid_t WorkerOf(pid_t supervisor) {
    const auto children = ChildrenOf(supervisor);
    return children.size() == 1 ? children.front() : 0;
}

} // namespace

TEST(CommandLineE2E, StalePidFileMeansNotRunning) {
    Root root;
    {
        std::ofstream stale(root.PidFile());
        stale << "999999\n";
    }
    EXPECT_EQ(RunCorvand({"rotate"}).output, "corvand is not running.\n");
}

TEST(ForegroundE2E, WritesPidFileRefusesSecondStartAndStopsGracefully) {
    Root root;
    Foreground daemon;
    ASSERT_EQ(daemon.FirstLine(), "pid: " + std::to_string(daemon.Pid()) + "\n");
    {
        std::ifstream pidFile(root.PidFile());
        std::stringstream contents;
        contents << pidFile.rdbuf();
        EXPECT_EQ(contents.str(), std::to_string(daemon.Pid()) + "\n");
    }
    ASSERT_TRUE(WaitUntil([&] {
        const int fd = Connect(root.Port());
        if (fd >= 0)
            ::close(fd);
        return fd >= 0;
    }));

    const Outcome second = RunCorvand({"-N"});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.output,
              "corvand is already running. PID = " + std::to_string(daemon.Pid()) + "\n");

    // Idle browser connections are closed by the proxy at a graceful stop.
    std::vector<int> browsers;
    for (int i = 0; i < 3; ++i)
        browsers.push_back(Connect(root.Port()));
    for (int fd : browsers)
        ASSERT_GE(fd, 0);
    std::this_thread::sleep_for(100ms);

    EXPECT_EQ(RunCorvand({"shutdown"}).exitCode, 0);
    for (int fd : browsers) {
        EXPECT_TRUE(PeerClosed(fd));
        ::close(fd);
    }
    EXPECT_EQ(daemon.Wait(), 0);
}

TEST(ForegroundE2E, BusyPortEndsTheRunWithStatusOne) {
    Root root;
    const int holder = Occupy(root.Port());
    ASSERT_GE(holder, 0);
    Foreground daemon;
    EXPECT_EQ(daemon.Wait(), 1);
    EXPECT_FALSE(std::filesystem::exists(root.PidFile())); // a run that returns removes it
    ::close(holder);
}

TEST(DaemonE2E, RestartRotateAndShutdown) {
    Root root;
    const pid_t supervisor = StartDaemon(root);
    ASSERT_GT(supervisor, 0);
    const pid_t firstWorker = WorkerOf(supervisor);
    ASSERT_GT(firstWorker, 0);

    // rotate reaches the worker, which handles it and lives on.
    EXPECT_EQ(RunCorvand({"rotate"}).exitCode, 0);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(WorkerOf(supervisor), firstWorker);
    EXPECT_TRUE(IsAlive(firstWorker));

    // restart: a new worker under the same supervisor, serving at once.
    EXPECT_EQ(RunCorvand({"restart"}).exitCode, 0);
    ASSERT_TRUE(WaitUntil([&] {
        const pid_t worker = WorkerOf(supervisor);
        return worker > 0 && worker != firstWorker;
    }));
    EXPECT_EQ(ReadPidFile(root.PidFile()), supervisor);
    EXPECT_TRUE(WaitUntil([&] {
        const int fd = Connect(root.Port());
        if (fd >= 0)
            ::close(fd);
        return fd >= 0;
    }));

    EXPECT_EQ(RunCorvand({"shutdown"}).exitCode, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsAlive(supervisor); }));
    EXPECT_FALSE(std::filesystem::exists(root.PidFile()));
    EXPECT_EQ(RunCorvand({"shutdown"}).output, "corvand is not running.\n");
}

TEST(DaemonE2E, KillEndsAtOnceWithOpenConnections) {
    Root root;
    const pid_t supervisor = StartDaemon(root);
    ASSERT_GT(supervisor, 0);
    const int browser = Connect(root.Port());
    ASSERT_GE(browser, 0);
    EXPECT_EQ(RunCorvand({"kill"}).exitCode, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsAlive(supervisor); }, 5s));
    EXPECT_TRUE(PeerClosed(browser));
    ::close(browser);
    EXPECT_FALSE(std::filesystem::exists(root.PidFile()));
}

TEST(DaemonE2E, SupervisorGivesUpAfterFiveQuickFailures) {
    Root root;
    const int holder = Occupy(root.Port());
    ASSERT_GE(holder, 0);
    ASSERT_EQ(RunCorvand({}).exitCode, 0);
    pid_t supervisor = 0;
    ASSERT_TRUE(WaitUntil([&] { return (supervisor = ReadPidFile(root.PidFile())) > 0; }));

    // Each worker fails at once; the supervisor starts one every 3 seconds.
    std::set<pid_t> workers;
    const auto start = std::chrono::steady_clock::now();
    WaitUntil(
        [&] {
            for (pid_t worker : ChildrenOf(supervisor))
                workers.insert(worker);
            return !IsAlive(supervisor);
        },
        30s);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(IsAlive(supervisor));
    EXPECT_GE(took, 11s); // four pauses of 3 seconds between five starts
    EXPECT_LE(workers.size(), 5u);
    EXPECT_FALSE(std::filesystem::exists(root.PidFile()));
    ::close(holder);
}
