#include "app/CommandLine.h"
#include "os/Paths.h"

#include <csignal>
#include <gtest/gtest.h>
#include <vector>

namespace {

CommandLine Parse(std::vector<std::string_view> args) {
    return CommandLine::Parse(args);
}

} // namespace

TEST(CommandLine, OptionThenCommand) {
    EXPECT_EQ(Parse({}).option, CommandLine::Option::None);
    EXPECT_FALSE(Parse({}).usageError);

    const CommandLine foregroundShutdown = Parse({"-N", "shutdown"});
    EXPECT_EQ(foregroundShutdown.option, CommandLine::Option::Foreground);
    EXPECT_EQ(foregroundShutdown.command, CommandLine::Command::Shutdown);
    EXPECT_FALSE(foregroundShutdown.usageError);

    EXPECT_EQ(Parse({"rotate"}).command, CommandLine::Command::Rotate);
    EXPECT_EQ(Parse({"-v"}).option, CommandLine::Option::Version);
    EXPECT_EQ(Parse({"-h"}).option, CommandLine::Option::Help);
}

TEST(CommandLine, LeftoversAreUsageErrors) {
    EXPECT_TRUE(Parse({"shutdown", "now"}).usageError);
    EXPECT_TRUE(Parse({"-x"}).usageError);
    EXPECT_TRUE(Parse({"-Nv"}).usageError); // options are not combined
    EXPECT_TRUE(Parse({"-N", "-v"}).usageError);
    EXPECT_TRUE(Parse({"kill", "restart"}).usageError);
    EXPECT_TRUE(Parse({"Shutdown"}).usageError); // words are case-sensitive
    EXPECT_TRUE(Parse({"shutdown", "-N"}).usageError);
}

TEST(CommandLine, CommandsMapToSignals) {
    EXPECT_EQ(CommandLine::SignalOf(CommandLine::Command::Shutdown), SIGTERM);
    EXPECT_EQ(CommandLine::SignalOf(CommandLine::Command::Kill), SIGINT);
    EXPECT_EQ(CommandLine::SignalOf(CommandLine::Command::Restart), SIGHUP);
    EXPECT_EQ(CommandLine::SignalOf(CommandLine::Command::Rotate), SIGUSR1);
    EXPECT_EQ(CommandLine::SignalOf(CommandLine::Command::None), 0);
}

TEST(CommandLine, TextsNameTheProgram) {
    EXPECT_EQ(ProgramName("/usr/sbin/corvand"), "corvand");
    EXPECT_EQ(ProgramName("corvand"), "corvand");
    EXPECT_EQ(ProgramName("./bin/"), "");
    EXPECT_EQ(UsageText("px").rfind("usage: px [-Nvh] [shutdown | kill | restart | rotate]\n", 0),
              0u);
    EXPECT_EQ(VersionText("px"), "Corvane PX (px)\n---------------------\nVersion: 3.0 final\n"
                                 "Build:   17\nDate:    Mar  7 2001\nTime:    18:24:15\n");
}

TEST(Paths, AllLocationsHangBelowOneRoot) {
    const std::string root(paths::Root());
    EXPECT_EQ(paths::StartConf(), root + "/etc/corvand/start.conf");
    EXPECT_EQ(paths::PidFile(), root + "/var/run/corvand/corvand.pid");
    EXPECT_EQ(paths::ErrorsDir(), root + "/usr/share/corvand/errors/");
    EXPECT_EQ(paths::FilesDir(), root + "/usr/share/corvand/files/");
    EXPECT_EQ(paths::GroupConf(""), root + "/etc/corvand/corvand.conf");
    EXPECT_EQ(paths::GroupConf("staff"), root + "/etc/corvand/staff.conf");
    EXPECT_EQ(paths::GroupStat(""), root + "/var/log/corvand/corvand.stat");
    EXPECT_EQ(paths::AccessLog(), root + "/var/log/corvand/access.log");
    EXPECT_EQ(paths::SecurityLog(), root + "/var/log/corvand/security.log");
}
