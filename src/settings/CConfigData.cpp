#include "settings/CConfigData.h"

CConfigData::CConfigData(std::unique_ptr<CPersistData> store) : m_store(std::move(store)) {
    Read();
}

CConfigData::~CConfigData() {
    Save();
}

void CConfigData::Read() {
    m_loaded = m_store && m_store->OpenRead();
    if (!m_loaded)
        return;
    // Reading ends at the first line that neither starts a section nor
    // belongs to one, and at a header without its closing bracket.
    CIString name, key, value;
    while (m_store->ReadSection(name)) {
        if (name.find('.') != CIString::npos) {
            Lines& lines = m_lists[name].lines;
            while (m_store->ReadEntry(key, value))
                if (!key.empty() || !value.empty())
                    lines.push_back(key.empty() ? value : key + "=" + value);
        } else {
            auto& entries = m_values[name].entries;
            // A bare "=" carries nothing, and could not be written back.
            while (m_store->ReadEntry(key, value))
                if (!key.empty() || !value.empty())
                    entries.try_emplace(key, Value{value, false}); // the first value wins
        }
    }
    m_store->CloseRead();
}

void CConfigData::SplitKey(const CIString& key, CIString& section, CIString& entry) {
    const auto point = key.find('.');
    if (point == CIString::npos) {
        section.clear();
        entry.clear();
        return;
    }
    section = key.substr(0, point);
    entry = key.substr(point + 1);
}

bool CConfigData::GetValue(const CIString& key, CIString& value) const {
    CIString section, entry;
    SplitKey(key, section, entry);
    const auto found = m_values.find(section);
    if (found == m_values.end())
        return false;
    const auto item = found->second.entries.find(entry);
    if (item == found->second.entries.end())
        return false;
    value = item->second.text;
    return true;
}

void CConfigData::SetValue(const CIString& key, const CIString& value) {
    CIString section, entry;
    SplitKey(key, section, entry);
    auto [item, added] = m_values[section].entries.try_emplace(entry, Value{value, true});
    // Values compare without case too: a change of case alone keeps the file
    // as it is.
    if (!added && item->second.text == value)
        return;
    item->second.text = value;
    item->second.changed = true;
    m_changed = true;
}

bool CConfigData::GetList(const CIString& key, Lines& lines) const {
    const auto found = m_lists.find(key);
    if (found == m_lists.end())
        return false;
    lines = found->second.lines;
    return true;
}

void CConfigData::SetList(const CIString& key, const Lines& lines) {
    auto [section, added] = m_lists.try_emplace(key);
    if (!added && section->second.lines == lines)
        return;
    section->second.lines = lines;
    section->second.changed = true;
    m_changed = true;
}

bool CConfigData::Save() {
    if (!m_changed)
        return true;
    if (!m_store || !m_store->OpenWrite())
        return false;
    for (const auto& [name, section] : m_values) {
        m_store->WriteSection(name);
        for (const auto& [entry, value] : section.entries)
            m_store->WriteEntry(entry, value.text);
    }
    for (const auto& [name, section] : m_lists) {
        m_store->WriteSection(name);
        for (const CIString& line : section.lines)
            m_store->WriteEntry(CIString(), line);
    }
    if (!m_store->Commit())
        return false;
    for (auto& [name, section] : m_values)
        for (auto& [entry, value] : section.entries)
            value.changed = false;
    for (auto& [name, section] : m_lists)
        section.changed = false;
    m_changed = false;
    return true;
}
