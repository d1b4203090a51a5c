#include "support/TestFiles.h"

#include "stats/CStatistic.h"
#include "stats/CStatisticFile.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

std::unique_ptr<CStatisticFile> FileAt(const std::string& path) {
    return std::make_unique<CStatisticFile>(path);
}

std::string ResetLines(const std::tm& t) {
    return "ResetTimeDay=" + std::to_string(t.tm_mday) +
           "\nResetTimeMonth=" + std::to_string(t.tm_mon + 1) +
           "\nResetTimeYear=" + std::to_string(t.tm_year + 1900) +
           "\nResetTimeHour=" + std::to_string(t.tm_hour) +
           "\nResetTimeMin=" + std::to_string(t.tm_min) + "\n";
}

} // namespace

TEST(Statistic, SavesTheFileLayoutAndLoadsItBack) {
    TempDir dir;
    const std::string top = dir / "corvand.stat", group = dir / "kids.stat";
    {
        CStatistic totals(nullptr, FileAt(top));
        CStatistic kids(&totals, FileAt(group));
        kids.Increment(CStatistic::Requests);
        kids.Increment(CStatistic::Requests);
        kids.Increment(CStatistic::BlockedRequests);
        totals.Increment(CStatistic::FilteredImages);
        kids.AddBytes(CStatistic::BytesReceivedFromServer, 5'000'000'000ULL);
        totals.ConnectionOpened();
        totals.ConnectionOpened();
        totals.ConnectionClosed();
        totals.Save();
        kids.Save();

        const std::string expectedTop =
            "FilteredImages=1\nFilteredWindows=0\nFilteredScripts=0\nFilteredLayers=0\n"
            "FilteredFrames=0\nFilteredForms=0\nImagesReceived=0\nFilteredCookies=0\n"
            "GoodCookies=0\nSentCookies=0\nBlockedMediatypes=0\nFilteredEmbeddedObjects=0\n"
            "Requests=2\nBlockedRequests=1\nBytesSentToClient=0\nBytesSentToServer=0\n"
            "BytesReceivedFromClient=0\nBytesReceivedFromServer=5000000000\nConnections=2\n" +
            ResetLines(totals.ResetTime());
        EXPECT_EQ(ReadAll(top), expectedTop);
        // A group's file has no connection count, and never the open connections.
        const std::string kidsFile = ReadAll(group);
        EXPECT_NE(kidsFile.find("FilteredImages=0\n"), std::string::npos);
        EXPECT_NE(kidsFile.find("Requests=2\nBlockedRequests=1\n"), std::string::npos);
        EXPECT_EQ(kidsFile.find("Connections"), std::string::npos);
        EXPECT_EQ(kidsFile.find("Active"), std::string::npos);
        EXPECT_FALSE(Exists(top + ".tmp"));
    }
    CStatistic totals(nullptr, FileAt(top));
    CStatistic kids(&totals, FileAt(group));
    EXPECT_EQ(totals.Counter(CStatistic::Requests), 2u);
    EXPECT_EQ(totals.Counter(CStatistic::FilteredImages), 1u);
    EXPECT_EQ(kids.Counter(CStatistic::FilteredImages), 0u);
    EXPECT_EQ(kids.ByteCount(CStatistic::BytesReceivedFromServer), 5'000'000'000ULL);
    EXPECT_EQ(totals.Connections(), 2u);
    EXPECT_EQ(totals.ActiveConnections(), 0u); // never saved
}

TEST(Statistic, MalformedValuesLoadAsZero) {
    TempDir dir;
    const std::string path = dir / "g.stat";
    WriteAll(path, "Requests=12x\n"
                   "\n"
                   "\t SentCookies=5 \r\n"
                   "FilteredImages=\n"
                   "FilteredFrames=-3\n"
                   "FilteredForms=+4\n"
                   "FilteredWindows=4294967296\n" // beyond 32 bits
                   "FilteredLayers=4294967295\n"
                   "BytesSentToClient=99999999999\n"
                   "GoodCookies = 7\n" // the name is "GoodCookies "
                   "Unheard=9\n"
                   "Connections=6\n"
                   "ImagesReceived=8\n"
                   "no equals sign ends the reading\n"
                   "BlockedRequests=3\n");
    CStatistic group(nullptr, FileAt(path));
    EXPECT_EQ(group.Counter(CStatistic::Requests), 0u);
    EXPECT_EQ(group.Counter(CStatistic::SentCookies), 5u);
    EXPECT_EQ(group.Counter(CStatistic::FilteredImages), 0u);
    EXPECT_EQ(group.Counter(CStatistic::FilteredFrames), 0u);
    EXPECT_EQ(group.Counter(CStatistic::FilteredForms), 0u);
    EXPECT_EQ(group.Counter(CStatistic::FilteredWindows), 0u);
    EXPECT_EQ(group.Counter(CStatistic::FilteredLayers), 4294967295u);
    EXPECT_EQ(group.ByteCount(CStatistic::BytesSentToClient), 99999999999ULL);
    EXPECT_EQ(group.Counter(CStatistic::GoodCookies), 0u);
    EXPECT_EQ(group.Connections(), 6u);
    EXPECT_EQ(group.Counter(CStatistic::ImagesReceived), 8u);
    EXPECT_EQ(group.Counter(CStatistic::BlockedRequests), 0u);

    // Only the top-level object takes a connection count from its file.
    CStatistic child(&group, FileAt(path));
    EXPECT_EQ(child.Connections(), 0u);
}

TEST(Statistic, LoadedResetTimeGetsItsOwnWeekday) {
    ScopedTimeZone zone("UTC0");
    TempDir dir;
    const std::string path = dir / "g.stat";
    WriteAll(path, "ResetTimeDay=5\nResetTimeMonth=12\nResetTimeYear=2001\n"
                   "ResetTimeHour=15\nResetTimeMin=30\n");
    CStatistic group(nullptr, FileAt(path));
    EXPECT_EQ(group.ValueText("ResetTime", false), "Wed, 05. Dec 2001, 15:30");
    EXPECT_EQ(group.ValueText("resettime", true), "Wed, 05. Dec 2001, 15:30");

    // And it is saved as it was loaded.
    group.Save();
    EXPECT_NE(ReadAll(path).find("ResetTimeDay=5\nResetTimeMonth=12\nResetTimeYear=2001\n"
                                 "ResetTimeHour=15\nResetTimeMin=30\n"),
              std::string::npos);
}

TEST(Statistic, ValueTextUnits) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        {1023, "1023"},         {1024, "1.0 KB"},
        {1048575, "1023.9 KB"}, {5 * 1048576ULL, "5.0 MB"},
        {1ULL << 32, "4.0 GB"}, {~0ULL, "17179869183.9 GB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(CStatistic::FormatBytes(bytes), text);

    CStatistic totals;
    totals.AddBytes(CStatistic::BytesSentToClient, 1024);
    EXPECT_EQ(totals.ValueText("BytesSentToClient", true), "1.0 KB");
    EXPECT_EQ(totals.ValueText("bytessenttoclient", false), "1024");
    EXPECT_EQ(totals.ValueText("NoSuchFigure", true), "0");
    totals.ConnectionOpened();
    EXPECT_EQ(totals.ValueText("ActiveConnections", false), "1");
}

TEST(Statistic, ResetKeepsTheOpenConnections) {
    CStatistic totals;
    totals.ConnectionOpened();
    totals.ConnectionOpened();
    totals.ConnectionOpened();
    totals.ConnectionClosed();
    totals.Increment(CStatistic::Requests);
    totals.AddBytes(CStatistic::BytesSentToServer, 7);
    totals.Reset();
    EXPECT_EQ(totals.ActiveConnections(), 2u);
    EXPECT_EQ(totals.Connections(), 0u);
    EXPECT_EQ(totals.Counter(CStatistic::Requests), 0u);
    EXPECT_EQ(totals.ByteCount(CStatistic::BytesSentToServer), 0u);
    totals.ConnectionOpened();
    EXPECT_EQ(totals.Connections(), 1u);
    EXPECT_EQ(totals.ActiveConnections(), 3u);
}

TEST(Statistic, AFailedSaveKeepsThePreviousFile) {
    TempDir dir;
    const std::string path = dir / "corvand.stat";
    const std::string previous = "Requests=41\n";
    WriteAll(path, previous);
    CStatistic totals(nullptr, FileAt(path));
    totals.Increment(CStatistic::Requests);

    // Something that cannot be replaced stands where the new file is written.
    const std::string temporary = path + ".tmp";
    ASSERT_EQ(::mkdir(temporary.c_str(), 0755), 0);
    WriteAll(temporary + "/pinned", "x");
    totals.Save();
    EXPECT_EQ(ReadAll(path), previous);

    // The next save tries again.
    std::remove((temporary + "/pinned").c_str());
    ::rmdir(temporary.c_str());
    totals.Save();
    EXPECT_NE(ReadAll(path).find("Requests=42\n"), std::string::npos);
    EXPECT_FALSE(Exists(temporary));
}

TEST(Statistic, AnUnfinishedWriteNeverReplacesTheFile) {
    TempDir dir;
    const std::string path = dir / "g.stat";
    WriteAll(path, "Requests=41\n");
    {
        CStatisticFile file(path);
        ASSERT_TRUE(file.OpenWrite("Requests", "0"));
        ASSERT_TRUE(file.WriteNext("BlockedRequests", "0"));
        // Destroyed before Close, as by an exception or a crash.
    }
    EXPECT_EQ(ReadAll(path), "Requests=41\n");
    EXPECT_FALSE(Exists(path + ".tmp"));

    // A stale temporary file of an interrupted save is no obstacle.
    WriteAll(path + ".tmp", "Requests=999\nBroken");
    CStatisticFile file(path);
    const mode_t old = ::umask(002);
    ASSERT_TRUE(file.OpenWrite("Requests", "1"));
    ::umask(old);
    ASSERT_TRUE(file.WriteNext("BlockedRequests", "2"));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(ReadAll(path), "Requests=1\nBlockedRequests=2\n");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0664u);
}

TEST(Statistic, ConcurrentIncrementsAllCountAndGoUpToTheParentOnly) {
    CStatistic totals;
    CStatistic kids(&totals), guests(&totals);
    totals.Increment(CStatistic::BlockedMediatypes);
    EXPECT_EQ(kids.Counter(CStatistic::BlockedMediatypes), 0u);
    constexpr int kPerThread = 20'000;
    std::vector<std::thread> threads;
    for (CStatistic* group : {&kids, &guests, &kids, &totals})
        threads.emplace_back([group] {
            for (int i = 0; i < kPerThread; ++i) {
                group->Increment(CStatistic::Requests);
                group->AddBytes(CStatistic::BytesSentToClient, 3);
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(kids.Counter(CStatistic::Requests), 2u * kPerThread);
    EXPECT_EQ(guests.Counter(CStatistic::Requests), 1u * kPerThread);
    EXPECT_EQ(totals.Counter(CStatistic::Requests), 4u * kPerThread);
    EXPECT_EQ(totals.ByteCount(CStatistic::BytesSentToClient), 12u * kPerThread);
}
