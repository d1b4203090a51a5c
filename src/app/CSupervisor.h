#pragma once

#include <functional>

// Starts the working process and restarts it when it fails or when a restart
// was asked for. In daemon mode the supervisor forks a child for each start and
// forwards the control signals to it; in the foreground (-N) the process does
// the work itself, once.
class CSupervisor {
public:
    // worker: the body of a working process; its result is the exit status.
    CSupervisor(bool daemonMode, std::function<int()> worker);

    // Runs start after start; true when the pid file should be removed at the
    // end (the supervisor and a foreground process; never a working child).
    int Run();
    bool ShouldRemovePidFile() const { return m_removePidFile; }

    // Children that live this long or less count as quick failures; this many
    // in a row end the supervisor.
    static constexpr int kQuickLifeSeconds = 9;
    static constexpr int kMaxQuickFailures = 5;
    static constexpr int kRestartDelaySeconds = 3;

private:
    bool Supervise(int childPid, int& quickFailures);

    bool m_daemonMode;
    std::function<int()> m_worker;
    bool m_removePidFile = true;
};
