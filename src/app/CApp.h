#pragma once

#include <memory>

class CListenerThread;
class CSettingsCache;

// The object that one working process creates and runs: it brings up the
// settings cache and the listener and then serves the control signals for the
// life of the process.
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

    // Declared first so that it goes last: the listener's connections hold
    // settings and statistics from it.
    std::unique_ptr<CSettingsCache> m_cache;
    std::unique_ptr<CListenerThread> m_listener;
};
