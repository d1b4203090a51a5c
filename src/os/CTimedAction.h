#pragma once

#include <ctime>

// Base of periodic work (saving statistics, flushing logs). A derived object
// registers with CActionTimer, which calls Execute() once its interval is due.
// Execute() runs with the timer lock held: it must not register or unregister.
class CTimedAction {
public:
    explicit CTimedAction(int intervalSeconds) : m_interval(intervalSeconds) {}
    virtual ~CTimedAction() = default;

    virtual void Execute() = 0;

    int Interval() const { return m_interval; }
    std::time_t Due() const { return m_due; }
    void SetDue(std::time_t due) { m_due = due; }

private:
    int m_interval;
    std::time_t m_due = 0;
};
