#include "settings/CSettingsCache.h"

#include "stats/CStatistic.h"

std::atomic<CSettingsCache*> CSettingsCache::s_current{nullptr};

CSettingsCache::CSettingsCache(CSettingsManager::Files files) : m_manager(std::move(files)) {
    StCritical guard(m_lock);
    m_start = m_manager.LoadStart();
    m_merge = m_start && m_start->MergeSettings();
    m_manager.SetMergeSettings(m_merge);
    Entry& top = EntryOf({});
    if (EditSettingsRef defaults = m_manager.GetForUse({})) {
        defaults->SetStatistic(top.statistic.get());
        top.settings = std::move(defaults);
    }
    CSettingsCache* none = nullptr;
    s_current.compare_exchange_strong(none, this, std::memory_order_acq_rel);
}

CSettingsCache::~CSettingsCache() {
    CSettingsCache* self = this;
    s_current.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    StCritical guard(m_lock);
    // The groups' statistics forward to the default group's: they go first.
    std::unique_ptr<CStatistic> top;
    for (auto& [name, entry] : m_entries) {
        entry.settings.reset();
        if (name.empty())
            top = std::move(entry.statistic);
        else
            entry.statistic.reset();
    }
    top.reset();
    m_entries.clear();
}

CSettingsCache::Entry& CSettingsCache::EntryOf(std::string_view user) {
    auto [found, added] = m_entries.try_emplace(CIString(user));
    Entry& entry = found->second;
    if (!entry.statistic) {
        if (user.empty())
            m_top = (entry.statistic = std::make_unique<CStatistic>(nullptr, user)).get();
        else
            entry.statistic = std::make_unique<CStatistic>(m_top, user);
    }
    return entry;
}

SettingsRef CSettingsCache::GetSettings(std::string_view user) {
    StCritical guard(m_lock);
    if (!CSettingsManager::IsUsableName(user))
        return {};
    Entry& entry = EntryOf(user);
    if (!entry.settings) {
        // The statistics belong to the object before anybody else sees it.
        if (EditSettingsRef fresh = m_manager.GetForUse(user)) {
            fresh->SetStatistic(entry.statistic.get());
            entry.settings = std::move(fresh);
        }
    }
    return entry.settings;
}

StartSettingsRef CSettingsCache::GetStartSettings() {
    StCritical guard(m_lock);
    return m_start;
}

void CSettingsCache::Invalidate(std::string_view user) {
    StCritical guard(m_lock);
    if (user.empty() && m_merge) {
        for (auto& [name, entry] : m_entries)
            entry.settings.reset();
    } else {
        const auto found = m_entries.find(CIString(user));
        if (found != m_entries.end())
            found->second.settings.reset();
    }
    if (user.empty())
        m_manager.ReloadDefaults();
}

CStatistic* CSettingsCache::GetStatistic(std::string_view user) {
    StCritical guard(m_lock);
    if (!CSettingsManager::IsUsableName(user))
        return m_top;
    return EntryOf(user).statistic.get();
}

EditSettingsRef CSettingsCache::GetForEdit(std::string_view user) const {
    return m_manager.GetForEdit(user);
}
