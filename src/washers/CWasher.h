#pragma once

#include "settings/CSettings.h"
#include "settings/CSettingsRef.h"

#include <cstdint>
#include <utility>

class CBuffer;
class CConnInfo;
class CStatistic;

// What a washer is handed when it is made, and keeps for its whole life.
struct WasherContext {
    CSettingsRef<const CSettings> settings; // the group's settings, held by the washer
    CStatistic* statistic = nullptr;        // the group's counters (never null in the daemon)
    const CConnInfo* request = nullptr;     // the request whose response is washed
    std::uint32_t whiteFlags = 0;           // the request's white-list exemption bits
    CBuffer* body = nullptr;                // the body buffer the washer works in
};

// What one Wash call decided.
struct WashResult {
    std::uint32_t ready = 0; // bytes at the front of the body buffer that are final
    bool stop = false;       // the washer needs no more of the server's body
};

// A washer rewrites a response body while it streams from the server to the
// browser. This is the whole contract a washer author needs:
//
// Making. The factory (WasherFactory) asks each washer kind's Accepts in turn
// and makes the first that says yes; one washer per response, never a chain.
// The washer receives its WasherContext in its constructor and holds the
// settings reference until it is destroyed, so the settings it judges by stay
// alive and unchanged for the whole body, whatever the configuration pages do.
//
// Washing. The body pump (BodyPump) appends each block the server sends to the
// body buffer and calls Wash(false). The washer may rewrite anything in the
// buffer that it has not released yet, and answers with
//   ready: how many bytes at the front are final. The pump sends them to the
//          browser and consumes them from the buffer before the next call, so
//          the next call sees the rest (and the new block) starting at 0.
//   stop:  the washer has all it needs (it replaced the whole body, say). The
//          pump sends the ready bytes and whatever else the buffer then holds,
//          and reads nothing more from the server.
// When the server's body has ended, the pump calls Wash(true) once: the
// washer must then finish, since nothing more will come; after it the pump
// sends whatever the buffer holds, whatever ready says.
//
// Offsets. A washer that keeps offsets into the buffer across calls (tag
// trackers) registers a CBufferObserver: Insert, Prepend, Erase, Consume and
// Clear tell it how bytes moved (Consume and Clear as an erasure at 0), and
// appends move nothing. So an offset stays valid across the pump's consuming
// and appending between two calls.
//
// Holding back. A washer may keep bytes unreleased while it waits for the end
// of a construct (an unfinished tag, an unclosed script). What it holds is
// bounded (kMaxHeldBytes): past the bound it releases what it holds as it
// stands and goes on behind it, so a page never finished never grows the
// buffer without limit, and no byte is scanned again and again.
//
// Counting. Every element a washer removes or changes is counted once in the
// statistic, even when it was held back and seen again on a later call.
class CWasher {
public:
    // The most a washer holds back unreleased.
    static constexpr std::uint32_t kMaxHeldBytes = 1u << 20;

    explicit CWasher(WasherContext context) : m_context(std::move(context)) {}
    CWasher& operator=(const CWasher&) = delete;
    virtual ~CWasher() = default;

    virtual WashResult Wash(bool last) = 0;

protected:
    // A washer may copy itself (the HTML washer scans inside a script with a
    // copy); the copy shares the context and takes its own settings reference.
    CWasher(const CWasher&) = default;

    const WasherContext& Context() const { return m_context; }
    const CSettings& Settings() const { return *m_context.settings; }
    CBuffer& Body() const { return *m_context.body; }

private:
    WasherContext m_context;
};
