#pragma once

#include "support/Tcp.h"

// Runs the real corvand binary below the build's own root, the way an
// administrator would: command lines, pid file, signals, sockets.

#include <chrono>
#include <cstdint>
#include <memory>
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

// A fresh root with the given default settings (the text of corvand.conf) and
// start settings, and a corvand -N serving on its port.
class ProxyDaemon {
public:
    explicit ProxyDaemon(const std::string& corvandConf = "", const std::string& startExtra = "");
    ~ProxyDaemon();
    // Whether the daemon runs and accepts connections.
    bool Ready() const { return m_ready; }
    std::uint16_t Port() const { return m_root.Port(); }
    const Root& GetRoot() const { return m_root; }
    pid_t Pid() const { return m_daemon ? m_daemon->Pid() : -1; }
    // Starts it again on the same root (after Stop).
    bool Start();
    // Graceful stop, which also writes out the pending log lines; the exit code.
    int Stop();
    // The whole content of a file below the root; empty when there is none.
    std::string ReadFile(const std::string& relative) const;

private:
    Root m_root;
    std::unique_ptr<Foreground> m_daemon;
    bool m_ready = false;
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

} // namespace e2e
