#include "app/CControlSignals.h"

#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace {

sigset_t ControlSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGUSR1);
    return set;
}

} // namespace

void CControlSignals::Block() {
    const sigset_t set = ControlSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int CControlSignals::Wait() {
    const sigset_t set = ControlSet();
    for (;;) {
        int sig = 0;
        if (sigwait(&set, &sig) == 0)
            return sig;
    }
}

void CControlSignals::DieBy(int sig) {
    std::signal(sig, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, sig);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    ::kill(::getpid(), sig);
    // Only reached if the signal was somehow ignored.
    ::_exit(128 + sig);
}
