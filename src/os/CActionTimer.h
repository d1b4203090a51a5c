#pragma once

#include "os/CCriticalSection.h"
#include "os/CTimedAction.h"

#include <ctime>
#include <vector>

// Runs registered timed actions when they are due. One process-wide timer
// exists from the first registration on; its thread ticks once a second and
// scans the list once every minimum interval.
//
// The instance operations take the current time as an argument so that the
// scheduling can be followed with a made-up clock; the static operations are
// what the rest of the daemon uses.
class CActionTimer {
public:
    CActionTimer() = default;
    CActionTimer(const CActionTimer&) = delete;
    CActionTimer& operator=(const CActionTimer&) = delete;

    // Process-wide timer; Register creates it and starts its thread.
    static void Register(CTimedAction* action);
    static void Unregister(CTimedAction* action);
    // Runs every registered action once now (the stop path).
    static void FlushAll();

    void Add(CTimedAction* action, std::time_t now);
    void Remove(CTimedAction* action);
    void Tick(std::time_t now);
    void Flush(std::time_t now);

    std::size_t Count();

private:
    void RunForever();

    CCriticalSection m_lock;
    std::vector<CTimedAction*> m_actions;
    int m_minInterval = 120;
    std::time_t m_nextScan = 0;
};
