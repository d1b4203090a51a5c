#pragma once

// Runs the real corvand binary below the build's own root, the way an
// administrator would: command lines, pid file, signals, sockets.

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace e2e {

struct Outcome {
    int exitCode = -1; // -1: did not end in time
    std::string output;
};

// A fresh root: no pid file, no settings or logs, and a start.conf that listens
// on a free loopback port and names no existing user.
class Root {
public:
    Root();
    ~Root();
    Root(const Root&) = delete;
    Root& operator=(const Root&) = delete;
    std::uint16_t Port() const { return m_port; }
    std::string PidFile() const;
    std::string Path(const std::string& relative) const;
    void WriteStartConf(const std::string& extraProxyEngineLines = "") const;

private:
    std::uint16_t m_port;
};

// Runs corvand with the arguments to its end (at most limit).
Outcome RunCorvand(const std::vector<std::string>& args,
                   std::chrono::milliseconds limit = std::chrono::seconds(10));

// A corvand -N process that the test owns.
class Foreground {
public:
    Foreground();
    ~Foreground();
    pid_t Pid() const { return m_pid; }
    const std::string& FirstLine() const { return m_firstLine; }
    // Waits for the process to end; -1 when it did not within the limit.
    int Wait(std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    pid_t m_pid = -1;
    int m_output = -1;
    std::string m_firstLine;
};

int ReadPidFile(const std::string& path);
bool IsAlive(pid_t pid);
// Children of a process, from /proc.
std::vector<pid_t> ChildrenOf(pid_t pid);
// Polls until the condition holds or the limit passes.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

// TCP helpers on 127.0.0.1.
int Connect(std::uint16_t port);
bool PeerClosed(int fd, std::chrono::seconds limit = std::chrono::seconds(5));
// Binds the port so that nobody else can listen on it.
int Occupy(std::uint16_t port);

} // namespace e2e
