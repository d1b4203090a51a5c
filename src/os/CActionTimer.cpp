#include "os/CActionTimer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

CCriticalSection g_creationLock;
std::atomic<CActionTimer*> g_timer{nullptr};

} // namespace

void CActionTimer::Register(CTimedAction* action) {
    CActionTimer* timer = g_timer.load();
    if (timer == nullptr) {
        StCritical guard(g_creationLock);
        timer = g_timer.load();
        if (timer == nullptr) {
            // Lives until the process exits, like its thread.
            timer = new CActionTimer;
            g_timer.store(timer);
            std::thread([timer] { timer->RunForever(); }).detach();
        }
    }
    timer->Add(action, std::time(nullptr));
}

void CActionTimer::Unregister(CTimedAction* action) {
    if (CActionTimer* timer = g_timer.load())
        timer->Remove(action);
}

void CActionTimer::FlushAll() {
    if (CActionTimer* timer = g_timer.load())
        timer->Flush(std::time(nullptr));
}

void CActionTimer::Add(CTimedAction* action, std::time_t now) {
    StCritical guard(m_lock);
    m_minInterval = std::min(m_minInterval, action->Interval());
    action->SetDue(now + action->Interval());
    // A fresh timer scans at its first tick (next scan 0); later additions may
    // only bring the next scan closer.
    m_nextScan = std::min(m_nextScan, now + static_cast<std::time_t>(m_minInterval));
    m_actions.push_back(action);
}

void CActionTimer::Remove(CTimedAction* action) {
    StCritical guard(m_lock);
    std::erase(m_actions, action);
}

void CActionTimer::Tick(std::time_t now) {
    {
        StCritical guard(m_lock);
        if (now < m_nextScan)
            return;
    }
    // The lock is taken per element so that registration is never held up by
    // a whole scan; the list may change in between.
    for (std::size_t i = 0;; ++i) {
        StCritical guard(m_lock);
        if (i >= m_actions.size())
            break;
        CTimedAction* action = m_actions[i];
        if (now >= action->Due()) {
            action->Execute();
            action->SetDue(now + action->Interval());
        }
    }
    StCritical guard(m_lock);
    m_nextScan = now + m_minInterval;
}

void CActionTimer::Flush(std::time_t now) {
    StCritical guard(m_lock);
    for (CTimedAction* action : m_actions) {
        action->Execute();
        action->SetDue(now + action->Interval());
    }
    m_nextScan = now + m_minInterval;
}

std::size_t CActionTimer::Count() {
    StCritical guard(m_lock);
    return m_actions.size();
}

void CActionTimer::RunForever() {
    for (;;) {
        Tick(std::time(nullptr));
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}
