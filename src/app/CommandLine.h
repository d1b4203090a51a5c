#pragma once

#include <span>
#include <string>
#include <string_view>

// The daemon's command line: at most one option, then at most one command word.
struct CommandLine {
    enum class Option { None, Foreground, Version, Help };
    enum class Command { None, Shutdown, Kill, Restart, Rotate };

    Option option = Option::None;
    Command command = Command::None;
    bool usageError = false; // something was left over

    // Parses the arguments after the program name.
    static CommandLine Parse(std::span<const std::string_view> args);

    // The signal that a command sends to the running daemon (0 for none).
    static int SignalOf(Command command);
};

// The last path component of the first command-line word.
std::string ProgramName(std::string_view argv0);

std::string UsageText(std::string_view programName);
std::string VersionText(std::string_view programName);
