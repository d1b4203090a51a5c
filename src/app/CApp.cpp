#include "app/CApp.h"

#include "app/CControlSignals.h"
#include "os/CActionTimer.h"
#include "os/Paths.h"
#include "proxy/CListenerThread.h"
#include "settings/CHostList.h"
#include "settings/CSettingsCache.h"
#include "stats/CAccessLog.h"
#include "stats/CSecurityLog.h"

#include <csignal>
#include <cstdio>
#include <thread>
#include <unistd.h>

CApp::CApp() = default;

CApp::~CApp() = default;

int CApp::Run() {
    m_cache = std::make_unique<CSettingsCache>();
    // Read once per working process: a restart starts a new one, which reads
    // the lists as they are then.
    CHostList::Install(CHostList::LoadDirectory(paths::HostListDir()));
    const int port = m_cache->GetStartSettings()->LocalPort();
    m_listener = std::make_unique<CListenerThread>(m_cache->GetStatistic({}));
    // A port outside the TCP range would otherwise be cut to 16 bits (or be
    // 0, any free port): a port nobody configured. It can't be set up.
    if (port < 1 || port > 65535 || !m_listener->Listen(static_cast<std::uint16_t>(port))) {
        m_listener.reset();
        return 1;
    }
    // The accept thread only ends inside Stop, which ends the process, so the
    // main thread spends the rest of its life as the control-signal thread.
    ServeControlSignals();
    return 0;
}

void CApp::ServeControlSignals() {
    for (;;) {
        const int sig = CControlSignals::Wait();
        if (sig == SIGUSR1)
            RotateLogs();
        else
            Stop(sig == SIGINT);
    }
}

void CApp::Stop(bool immediate) {
    if (!immediate) {
        WatchSignalsDuringStop();
        m_listener.reset(); // stops accepting, aborts and awaits every connection
        m_cache.reset();    // frees every group's settings and saves their statistics
    }
    CActionTimer::FlushAll();
    std::fflush(nullptr);
    // Connection and timer threads may still be running (always after an
    // immediate stop): leave without running static destructors under them.
    ::_exit(0);
}

void CApp::RotateLogs() {
    // Runs on the signal thread, never inside a signal handler, so waiting for
    // a flush in progress on the timer thread is safe.
    CSecurityLog::Instance().Rotate();
    CAccessLog::Instance().Rotate();
}

void CApp::WatchSignalsDuringStop() {
    std::thread([this] {
        for (;;) {
            const int sig = CControlSignals::Wait();
            if (sig == SIGINT)
                Stop(true);
            if (sig == SIGTERM)
                CControlSignals::DieBy(sig); // as a second, unhandled SIGTERM would
            if (sig == SIGUSR1)
                RotateLogs();
        }
    }).detach();
}
