#pragma once

#include "os/CByteCounter.h"
#include "os/CCriticalSection.h"
#include "os/CTimedAction.h"
#include "stats/CPersistStatistic.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

// Per-group counters of what the proxy did and filtered. A named group's object
// forwards every increment to the default group's object (its parent), so the
// default group's figures are the totals. An object kept in a file loads it at
// construction and saves it every 30 seconds, at the timer's flush and at its
// destruction.
class CStatistic : public CTimedAction, public CByteCounter {
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

    static constexpr int kSaveInterval = 30;

    // An object kept in memory only.
    explicit CStatistic(CStatistic* parent = nullptr);
    // The object of a group (empty name: the default group), kept in its
    // statistics file.
    CStatistic(CStatistic* parent, std::string_view group);
    // Kept in the given store; loads it and registers with the action timer.
    CStatistic(CStatistic* parent, std::unique_ptr<CPersistStatistic> store);
    ~CStatistic() override;
    CStatistic(const CStatistic&) = delete;
    CStatistic& operator=(const CStatistic&) = delete;

    void Increment(Event event);
    void AddBytes(Bytes counter, std::uint64_t n) override;
    std::uint32_t Counter(Event event);
    std::uint64_t ByteCount(Bytes counter);

    // Connection figures; only the default group's object keeps them.
    void ConnectionOpened();
    void ConnectionClosed();
    // A connection turned away at the bound of open connections.
    void ConnectionRefused();
    std::uint32_t ActiveConnections();
    std::uint32_t Connections();
    // Refused since the last reset; like ActiveConnections, never saved.
    std::uint32_t RefusedConnections();

    // A figure by its name (case-insensitive), as the statistics page shows
    // it: counter names, "Connections", "ActiveConnections",
    // "RefusedConnections", "ResetTime".
    // With humanReadable, byte counts of 1024 and more are given in KB, MB or
    // GB with one decimal. Unknown names give "0".
    std::string ValueText(std::string_view name, bool humanReadable);

    // Counters and Connections back to 0, the reset time to now; the open
    // connections stay.
    void Reset();
    // Writes the figures to the store; nothing happens for a memory-only
    // object, and a failed write leaves the previous file as it was.
    void Save();

    void Execute() override { Save(); }

    CStatistic* Parent() const { return m_parent; }
    bool IsTopLevel() const { return m_parent == nullptr; }
    std::tm ResetTime();

    static std::string_view EventName(Event event);
    static std::string_view BytesName(Bytes counter);
    // The human-readable form of a byte count: "1023", "1.0 KB", "5.0 MB".
    static std::string FormatBytes(std::uint64_t value);

private:
    void Load();
    void SetValue(const std::string& name, const std::string& value);
    static std::tm Now();

    CStatistic* m_parent;
    std::unique_ptr<CPersistStatistic> m_store;
    CCriticalSection m_counterLock;
    CCriticalSection m_fileLock;
    std::array<std::uint32_t, kEventCount> m_events{};
    std::array<std::uint64_t, kBytesCount> m_bytes{};
    std::uint32_t m_activeConnections = 0;
    std::uint32_t m_connections = 0;
    std::uint32_t m_refusedConnections = 0;
    std::tm m_resetTime{};
};
