#pragma once

#include "os/CCriticalSection.h"
#include "os/CTimedAction.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

// Per-group counters of what the proxy did and filtered. A named group's object
// forwards every increment to the default group's object (its parent), so the
// default group's figures are the totals.
class CStatistic {
public:
    enum Event : int {
        FilteredImages = 0,
        FilteredWindows,
        FilteredScripts,
        FilteredLayers,
        FilteredFrames,
        FilteredForms,
        ImagesReceived,
        FilteredCookies,
        GoodCookies,
        SentCookies,
        BlockedMediatypes,
        FilteredEmbeddedObjects,
        Requests,
        BlockedRequests,
        kEventCount
    };
    enum Bytes : int {
        BytesSentToClient = 0,
        BytesSentToServer,
        BytesReceivedFromClient,
        BytesReceivedFromServer,
        kBytesCount
    };

    // An object kept in memory only.
    explicit CStatistic(CStatistic* parent = nullptr);
    // The object of a group (empty name: the default group), kept in its
    // statistics file.
    CStatistic(CStatistic* parent, std::string_view group);
    virtual ~CStatistic();
    CStatistic(const CStatistic&) = delete;
    CStatistic& operator=(const CStatistic&) = delete;

    void Increment(Event event);
    void AddBytes(Bytes counter, std::uint64_t n);
    std::uint32_t Counter(Event event);
    std::uint64_t ByteCount(Bytes counter);

    // Connection figures; only the default group's object keeps them.
    void ConnectionOpened();
    void ConnectionClosed();
    std::uint32_t ActiveConnections();
    std::uint32_t Connections();

    CStatistic* Parent() const { return m_parent; }

protected:
    CStatistic* m_parent;
    CCriticalSection m_counterLock;
    std::array<std::uint32_t, kEventCount> m_events{};
    std::array<std::uint64_t, kBytesCount> m_bytes{};
    std::uint32_t m_activeConnections = 0;
    std::uint32_t m_connections = 0;
};
