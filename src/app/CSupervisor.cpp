#include "app/CSupervisor.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Shared with the forwarding handler, written before it is installed.
volatile sig_atomic_t g_childPid = 0;
volatile sig_atomic_t g_restartRequested = 0;

// Only async-signal-safe work here: set a flag, pass the signal on.
void ForwardSignal(int sig) {
    if (sig == SIGHUP)
        g_restartRequested = 1;
    if (g_childPid > 0)
        ::kill(g_childPid, sig);
}

void Install(int sig, void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
}

} // namespace

CSupervisor::CSupervisor(bool daemonMode, std::function<int()> worker)
    : m_daemonMode(daemonMode), m_worker(std::move(worker)) {}

int CSupervisor::Run() {
    int result = 0;
    int quickFailures = 0;
    bool restart = false;
    do {
        g_restartRequested = 0;
        pid_t child = 0;
        if (m_daemonMode) {
            child = ::fork();
            if (child < 0)
                child = 0; // no child: this process does the work itself
            else if (child == 0)
                m_removePidFile = false;
        }
        Install(SIGPIPE, SIG_IGN, SA_RESTART);
        if (child == 0) {
            result = m_worker();
            restart = false;
        } else {
            restart = Supervise(child, quickFailures);
        }
    } while (restart);
    return result;
}

bool CSupervisor::Supervise(int childPid, int& quickFailures) {
    const std::time_t started = std::time(nullptr);
    g_childPid = childPid;
    Install(SIGTERM, ForwardSignal, SA_RESETHAND | SA_NODEFER | SA_RESTART);
    Install(SIGINT, ForwardSignal, SA_RESETHAND | SA_NODEFER | SA_RESTART);
    Install(SIGHUP, ForwardSignal, SA_RESTART);
    Install(SIGUSR1, ForwardSignal, SA_RESTART);

    int status = 0;
    while (::waitpid(childPid, &status, 0) < 0 && errno == EINTR) {
    }
    const std::time_t ended = std::time(nullptr);
    quickFailures = (ended - started > kQuickLifeSeconds) ? 0 : quickFailures + 1;

    bool restart = false;
    const bool failed = WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0);
    if (failed) {
        if (quickFailures < kMaxQuickFailures) {
            ::sleep(kRestartDelaySeconds);
            restart = true;
        }
    } else {
        restart = g_restartRequested != 0;
    }
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGUSR1})
        Install(sig, SIG_DFL, 0);
    return restart;
}
