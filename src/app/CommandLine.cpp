#include "app/CommandLine.h"

#include "text/Product.h"

#include <csignal>
#include <cstdio>

namespace {

constexpr int kBuild = 17;
constexpr const char* kBuildDate = "Mar  7 2001";
constexpr const char* kBuildTime = "18:24:15";

struct CommandWord {
    std::string_view word;
    CommandLine::Command command;
    int signal;
};

constexpr CommandWord kCommands[] = {
    {"shutdown", CommandLine::Command::Shutdown, SIGTERM},
    {"kill", CommandLine::Command::Kill, SIGINT},
    {"restart", CommandLine::Command::Restart, SIGHUP},
    {"rotate", CommandLine::Command::Rotate, SIGUSR1},
};

std::string Format(const char* format, auto... values) {
    char line[256];
    const int n = std::snprintf(line, sizeof line, format, values...);
    return std::string(line, n < 0 ? 0 : static_cast<std::size_t>(n));
}

} // namespace

CommandLine CommandLine::Parse(std::span<const std::string_view> args) {
    CommandLine result;
    std::size_t next = 0;
    if (next < args.size()) {
        if (args[next] == "-N") {
            result.option = Option::Foreground;
            ++next;
        } else if (args[next] == "-v") {
            result.option = Option::Version;
            ++next;
        } else if (args[next] == "-h") {
            result.option = Option::Help;
            ++next;
        }
    }
    if (next < args.size()) {
        for (const CommandWord& word : kCommands) {
            if (args[next] == word.word) {
                result.command = word.command;
                ++next;
                break;
            }
        }
    }
    result.usageError = next < args.size();
    return result;
}

int CommandLine::SignalOf(Command command) {
    for (const CommandWord& word : kCommands)
        if (word.command == command)
            return word.signal;
    return 0;
}

std::string ProgramName(std::string_view argv0) {
    const auto slash = argv0.rfind('/');
    return std::string(slash == std::string_view::npos ? argv0 : argv0.substr(slash + 1));
}

std::string UsageText(std::string_view programName) {
    const std::string name(programName);
    return Format("usage: %s [-Nvh] [shutdown | kill | restart | rotate]\n", name.c_str()) +
           "    options:\n"
           "       -N = don't go to background, use single process\n"
           "       -v = print version information\n"
           "       -h = print usage information\n"
           "       shutdown = timeout open connections, quit program\n"
           "       kill = kill all processes\n"
           "       restart = timeout open connections, restart over\n"
           "       rotate = rotate log files\n";
}

std::string VersionText(std::string_view programName) {
    const std::string name(programName);
    return Format("Corvane PX (%s)\n", name.c_str()) + "---------------------\n" +
           Format("Version: %s\n", std::string(product::kVersion).c_str()) +
           Format("Build:   %d\n", kBuild) + Format("Date:    %s\n", kBuildDate) +
           Format("Time:    %s\n", kBuildTime);
}
