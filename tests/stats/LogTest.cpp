#include "support/TestFiles.h"

#include "os/Paths.h"
#include "stats/CAccessLog.h"
#include "stats/CSecurityLog.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

// 5 December 2001, 15:30:07 in whatever zone is set when the clock is read.
std::time_t FixedTime() {
    return LocalTime(2001, 12, 5, 15, 30, 7);
}

CAccessLog::Record Request(std::string_view referer = "http://ref.example/",
                           std::string_view userAgent = "Mozilla/5.0") {
    CAccessLog::Record record;
    record.firstLine = "GET http://www.example.com/ HTTP/1.1";
    record.referer = referer;
    record.userAgent = userAgent;
    record.status = 200;
    record.bytes = 1234;
    record.clientAddress = CNetAddress::FromV4(0x0A000105); // 10.0.1.5
    return record;
}

std::string SecurityLine(CSecurityLog::Kind kind, CSecurityLog::Verdict verdict,
                         std::string_view classId = "", std::string_view address = "",
                         std::string_view mediaType = "", std::string_view extension = "") {
    CSecurityLog log("/nonexistent/", FixedTime);
    CSecurityLog::Record record;
    record.firstLine = "GET http://a.example/x.exe HTTP/1.0";
    record.status = 200;
    record.kind = kind;
    record.verdict = verdict;
    record.classId = classId;
    record.address = address;
    record.mediaType = mediaType;
    record.extension = extension;
    return log.Line(record);
}

constexpr const char* kStamp = "[05/Dec/2001:15:30:07 +0000] ";

} // namespace

TEST(AccessLog, LineLayout) {
    ScopedTimeZone zone("UTC0");
    CAccessLog log("/nonexistent/", FixedTime);
    EXPECT_EQ(log.Line(Request()), std::string("10.0.1.5 - - ") + kStamp +
                                       "\"GET http://www.example.com/ HTTP/1.1\" 200 1234 "
                                       "\"http://ref.example/\" \"Mozilla/5.0\" \n");

    // Empty header values and unknown numbers.
    CAccessLog::Record record = Request("", "");
    record.status = -1;
    record.bytes = -1;
    EXPECT_EQ(log.Line(record), std::string("10.0.1.5 - - ") + kStamp +
                                    "\"GET http://www.example.com/ HTTP/1.1\" - - \"-\" \"-\" \n");
    record.status = 0;
    record.bytes = 0;
    EXPECT_NE(log.Line(record).find("\" 0 0 \"-\""), std::string::npos);
}

TEST(AccessLog, QuotedFieldsCannotForgeFieldsOrLines) {
    ScopedTimeZone zone("UTC0");
    CAccessLog log("/nonexistent/", FixedTime);
    const std::string line =
        log.Line(Request("http://x/\" 200 5 \"y", "Bot\\\r\n10.0.0.1 - - [forged]\x7f\xc3\xa9\t"));
    EXPECT_EQ(line, std::string("10.0.1.5 - - ") + kStamp +
                        "\"GET http://www.example.com/ HTTP/1.1\" 200 1234 "
                        "\"http://x/\\\" 200 5 \\\"y\" "
                        "\"Bot\\\\\\x0D\\x0A10.0.0.1 - - [forged]\\x7F\\xC3\\xA9\\x09\" \n");
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
}

TEST(AccessLog, ClientName) {
    EXPECT_EQ(CAccessLog::ClientName(CNetAddress::FromV4(0x7F000001), false), "127.0.0.1");
    EXPECT_EQ(CAccessLog::ClientName(CNetAddress::FromV4(0xC0A80A01), false), "192.168.10.1");
    EXPECT_EQ(CAccessLog::ClientName(*CNetAddress::Parse("2001:db8:0::5"), false), "2001:db8::5");
    // The loopback name comes from the hosts file; without an entry the lookup
    // would go to the network.
    if (ReadAll("/etc/hosts").find("127.0.0.1") == std::string::npos)
        GTEST_SKIP() << "no loopback entry in /etc/hosts";
    const std::string name = CAccessLog::ClientName(CNetAddress::FromV4(0x7F000001), true);
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(name.find(' '), std::string::npos);
}

TEST(LogFile, TimeStampZones) {
    const auto stampAt = [](const char* tz) {
        ScopedTimeZone zone(tz);
        return CLogFile::TimeStamp(FixedTime());
    };
    EXPECT_EQ(stampAt("UTC0"), "[05/Dec/2001:15:30:07 +0000] ");
    EXPECT_EQ(stampAt("XYZ-2"), "[05/Dec/2001:15:30:07 +0200] ");
    EXPECT_EQ(stampAt("EST5"), "[05/Dec/2001:15:30:07 -0500] ");
    EXPECT_EQ(stampAt("IST-5:30"), "[05/Dec/2001:15:30:07 +0530] ");
    EXPECT_EQ(stampAt("NST3:30"), "[05/Dec/2001:15:30:07 -0330] ");

    // Summer time moves the clock but not the offset written.
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const std::time_t summer = LocalTime(2001, 7, 1, 9, 5, 3);
    EXPECT_EQ(CLogFile::TimeStamp(summer), "[01/Jul/2001:09:05:03 +0100] ");
    EXPECT_EQ(CLogFile::TimeStamp(LocalTime(2002, 1, 9, 23, 59, 59)),
              "[09/Jan/2002:23:59:59 +0100] ");
}

TEST(SecurityLog, LineLayoutOfEveryKindAndVerdict) {
    ScopedTimeZone zone("UTC0");
    const std::string s = kStamp;
    using L = CSecurityLog;

    EXPECT_EQ(SecurityLine(L::MediaType, L::Removed, "", "", "application/x-msdownload", "exe"),
              s + "\"GET http://a.example/x.exe HTTP/1.0\" 200 application/x-msdownload exe "
                  "filter\n");
    EXPECT_EQ(SecurityLine(L::MediaType, L::Allowed),
              s + "\"GET http://a.example/x.exe HTTP/1.0\" 200 - - pass\n");
    EXPECT_EQ(SecurityLine(L::MediaType, L::NotListed, "", "", "text/html"),
              s + "\"GET http://a.example/x.exe HTTP/1.0\" 200 text/html - unknown\n");

    EXPECT_EQ(SecurityLine(L::Script, L::Removed, "", "http://s.example/a.js", "", "js"),
              s + "\"Script http://s.example/a.js\" 200 - js filter\n");
    EXPECT_EQ(SecurityLine(L::Object, L::Allowed, "", "", "application/x-shockwave-flash"),
              s + "\"Object -\" 200 application/x-shockwave-flash - pass\n");
    EXPECT_EQ(SecurityLine(L::Embed, L::NotListed, "", "movie.swf", "", "swf"),
              s + "\"Embed movie.swf\" 200 - swf unknown\n");

    EXPECT_EQ(SecurityLine(L::ActiveX, L::Removed, "clsid:D27CDB6E"),
              s + "\"Object CLASSID=clsid:D27CDB6E\" 200 - - filter\n");
    // The Object CLASSID lines know only filter and pass.
    EXPECT_EQ(SecurityLine(L::ActiveX, L::NotListed, ""), s + "\"Object CLASSID=\" 200 - - pass\n");
    EXPECT_EQ(SecurityLine(L::Java, L::Allowed, "clsid:8AD9C840"),
              s + "\"Object CLASSID=clsid:8AD9C840\" 200 - - pass\n");
    EXPECT_EQ(SecurityLine(L::Java, L::Removed, "", "Game.class"),
              s + "\"Applet Game.class\" 200 - - filter\n");
    EXPECT_EQ(SecurityLine(L::Java, L::NotListed), s + "\"Applet -\" 200 - - pass\n");

    EXPECT_EQ(SecurityLine(static_cast<L::Kind>(L::Host + 1), L::Removed), "");
}

TEST(SecurityLog, FieldsStayFields) {
    ScopedTimeZone zone("UTC0");
    using L = CSecurityLog;
    EXPECT_EQ(SecurityLine(L::Script, L::Removed, "", "a\" 200 - - pass\nx", "text/x y", "j\ns"),
              std::string(kStamp) +
                  "\"Script a\\\" 200 - - pass\\x0Ax\" 200 text/x\\x20y j\\x0As filter\n");
    CSecurityLog log("/nonexistent/", FixedTime);
    CSecurityLog::Record record;
    record.status = -5;
    EXPECT_EQ(log.Line(record), std::string(kStamp) + "\"-\" - - - unknown\n");
}

TEST(LogFile, FlushAppendsAndDropsNothingElse) {
    TempDir dir;
    CAccessLog log(dir.Path());
    EXPECT_EQ(log.Path(), dir / "access.log");

    log.Flush(); // nothing pending: no file either
    EXPECT_FALSE(Exists(log.Path()));

    WriteAll(log.Path(), "old line\n");
    log.Write(Request());
    log.Write(Request());
    EXPECT_FALSE(log.Pending().empty());
    EXPECT_EQ(ReadAll(log.Path()), "old line\n"); // only flushes touch the file
    const std::string pending = log.Pending();
    log.Flush();
    EXPECT_EQ(log.PendingBytes(), 0u);
    EXPECT_EQ(ReadAll(log.Path()), "old line\n" + pending);
}

TEST(LogFile, UnwritableFileDropsThePendingLines) {
    TempDir dir;
    CSecurityLog log(dir.Path());
    ASSERT_EQ(::mkdir(log.Path().c_str(), 0755), 0); // a directory in the way
    CSecurityLog::Record record;
    log.Write(record);
    log.Flush();
    EXPECT_EQ(log.PendingBytes(), 0u);
    ::rmdir(log.Path().c_str());
    log.Flush();
    EXPECT_FALSE(Exists(log.Path()));
}

TEST(LogFile, PendingLinesAreBoundedAndKeptWhole) {
    TempDir dir;
    CAccessLog log(dir.Path());
    const std::string agent(990, 'a');
    std::size_t lines = 0;
    while (log.PendingBytes() <= CLogFile::kMaxPending) {
        log.Write(Request("", agent));
        ++lines;
    }
    const std::size_t full = log.PendingBytes();
    const std::size_t lineLength = full / lines;
    log.Write(Request("", agent));
    const std::string pending = log.Pending();
    // The oldest 1,500,000 bytes went, rounded up to the end of a line.
    EXPECT_GE(full + lineLength - pending.size(), CLogFile::kDropped);
    EXPECT_LT(full + lineLength - pending.size(), CLogFile::kDropped + lineLength);
    EXPECT_EQ(pending.rfind("10.0.1.5 - - [", 0), 0u);
    EXPECT_EQ(pending.size() % lineLength, 0u);
    EXPECT_EQ(pending.back(), '\n');
}

TEST(LogFile, RotationNamesAndNewFile) {
    ScopedTimeZone zone("XYZ-2");
    TempDir dir;
    CAccessLog access(dir.Path(), FixedTime);
    CSecurityLog security(dir.Path(), FixedTime);
    EXPECT_EQ(access.RotatedPath(LocalTime(2001, 12, 5, 15, 30, 0)), dir / "access0112051530.log");
    EXPECT_EQ(security.RotatedPath(LocalTime(2009, 1, 2, 3, 4, 59)),
              dir / "security0901020304.log");

    EXPECT_FALSE(access.Rotate()); // nothing to rotate yet
    access.Write(Request());
    access.Flush();
    const std::string first = ReadAll(access.Path());
    EXPECT_NE(first.find(" +0200] "), std::string::npos);

    access.Write(Request("", ""));
    EXPECT_TRUE(access.Rotate());
    EXPECT_FALSE(Exists(access.Path()));
    EXPECT_EQ(ReadAll(dir / "access0112051530.log"), first);
    access.Flush(); // lines written before the rotation start the new file
    EXPECT_NE(ReadAll(access.Path()).find("\"-\" \"-\" \n"), std::string::npos);

    // A second rotation in the same minute replaces the first one's file.
    EXPECT_TRUE(access.Rotate());
    EXPECT_NE(ReadAll(dir / "access0112051530.log").find("\"-\" \"-\" \n"), std::string::npos);

    security.Write(CSecurityLog::Record{});
    security.Flush();
    EXPECT_TRUE(security.Rotate());
    EXPECT_TRUE(Exists(dir / "security0112051530.log"));
}

TEST(LogFile, ConcurrentWritesFlushesAndRotationsLoseNoLine) {
    TempDir dir;
    // Every reading of the clock is a minute later, so no two rotations share
    // a name.
    std::atomic<int> minutes{0};
    CAccessLog log(dir.Path(), [&minutes] { return std::time_t{1'000'000'000} + 60 * minutes++; });
    constexpr int kWriters = 4, kLines = 500, kRotations = 20;
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w)
        threads.emplace_back([&log] {
            for (int i = 0; i < kLines; ++i)
                log.Write(Request());
        });
    threads.emplace_back([&log] {
        for (int i = 0; i < kRotations; ++i) {
            log.Flush();
            log.Rotate();
        }
    });
    for (std::thread& thread : threads)
        thread.join();
    log.Flush();

    std::size_t lines = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        const std::string text = ReadAll(entry.path());
        lines += std::count(text.begin(), text.end(), '\n');
        for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1)
            ASSERT_EQ(text.compare(at, 14, "10.0.1.5 - - ["), 0);
    }
    EXPECT_EQ(lines, std::size_t{kWriters} * kLines);
}
