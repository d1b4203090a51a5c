#pragma once

#include <memory>

class CListenerThread;

// The object that one working process creates and runs: it brings up the
// listener and then serves the control signals for the life of the process.
class CApp {
public:
    CApp();
    virtual ~CApp();
    CApp(const CApp&) = delete;
    CApp& operator=(const CApp&) = delete;

    // Returns 1 when the listening socket cannot be set up; otherwise it runs
    // until a stop signal, and Stop ends the process.
    int Run();
    // Graceful: stop accepting, close and await every open connection, save
    // what is pending; immediate: only the last. Ends the process with status 0.
    [[noreturn]] void Stop(bool immediate);
    void RotateLogs();

private:
    void ServeControlSignals();
    // A graceful stop may take long; meanwhile a second stop signal still works.
    void WatchSignalsDuringStop();

    std::unique_ptr<CListenerThread> m_listener;
};
