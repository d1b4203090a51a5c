#pragma once

// The four signals that control a working process: SIGTERM and SIGHUP stop it
// gracefully, SIGINT at once, SIGUSR1 rotates the logs.
//
// They are blocked in every thread and taken with sigwait on one thread, so that
// the stop and rotate work runs as ordinary code that may take locks, never
// inside a signal handler.
class CControlSignals {
public:
    // Blocks the control signals for the calling thread and every thread it
    // creates afterwards; call it before the first thread exists.
    static void Block();
    // Waits for the next control signal and returns its number.
    static int Wait();
    // Ends the process by the default action of sig, as an unhandled signal would.
    [[noreturn]] static void DieBy(int sig);
};
