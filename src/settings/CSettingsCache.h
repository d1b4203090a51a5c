#pragma once

#include "os/CCriticalSection.h"
#include "settings/CSettingsManager.h"

#include <atomic>
#include <map>
#include <memory>
#include <string_view>

class CStatistic;

// The process-wide keeper of every group's settings and statistics. A
// connection takes its group's settings for one request (GetSettings) and
// lets the handle go; the configuration pages save changed settings and
// Invalidate the group, so the next request loads the new values while
// requests under way finish with the old ones.
//
// Created by the application at start: it loads the start settings and the
// defaults, and creates the default group's statistics, which are the parent
// of every other group's. Deleting it saves and frees all statistics.
class CSettingsCache {
public:
    explicit CSettingsCache(CSettingsManager::Files files = CSettingsManager::Files());
    ~CSettingsCache();
    CSettingsCache(const CSettingsCache&) = delete;
    CSettingsCache& operator=(const CSettingsCache&) = delete;

    // The cache of the running process, or null outside its life.
    static CSettingsCache* Current() { return s_current.load(std::memory_order_acquire); }

    // The group's settings (the empty name: the default group), loaded on
    // first use and after an Invalidate, with the group's statistics
    // attached. None when they can't be had (a group name that can't name a
    // file); the next call tries again.
    SettingsRef GetSettings(std::string_view user);
    StartSettingsRef GetStartSettings();
    // The start settings are loaded once, with the cache, and never change:
    // readers on every request need neither the lock nor a reference. Null
    // when they could not be loaded.
    const CStartSettings* StartSettings() const { return m_start.get(); }
    // Drops the group's cached settings; for the empty name with merging on,
    // every group's. The statistics stay.
    void Invalidate(std::string_view user);
    // The group's statistics, created on first use; they live as long as the
    // cache. A group name that can't name a file counts in the default
    // group's.
    CStatistic* GetStatistic(std::string_view user);

    // Savable settings for the configuration pages (see CSettingsManager).
    EditSettingsRef GetForEdit(std::string_view user) const;
    bool MergeSettings() const { return m_merge; }

private:
    struct Entry {
        SettingsRef settings;
        std::unique_ptr<CStatistic> statistic;
    };
    Entry& EntryOf(std::string_view user);

    static std::atomic<CSettingsCache*> s_current;

    CCriticalSection m_lock;
    CSettingsManager m_manager;
    StartSettingsRef m_start;
    bool m_merge = false;
    std::map<CIString, Entry> m_entries;
    CStatistic* m_top = nullptr; // the default group's
};
