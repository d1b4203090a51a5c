#pragma once

#include "settings/CPersistData.h"

#include <map>
#include <memory>
#include <vector>

// The whole content of one settings file, held in memory: value sections
// (name without a point, e.g. "ProxyEngine") of entries, and list sections
// (named after the full key of a list, e.g. "CookieFilter.DomainList") of
// lines. Every name compares without regard to the case of a-z.
//
// The file is read once at construction. Content that nobody asks for is kept
// and written back, and the file is rewritten only when something changed.
class CConfigData {
public:
    using Lines = std::vector<CIString>;

    explicit CConfigData(std::unique_ptr<CPersistData> store);
    // Saves what changed.
    ~CConfigData();
    CConfigData(const CConfigData&) = delete;
    CConfigData& operator=(const CConfigData&) = delete;

    // key is "Section.Entry", split at its first point.
    bool GetValue(const CIString& key, CIString& value) const;
    void SetValue(const CIString& key, const CIString& value);
    bool GetList(const CIString& key, Lines& lines) const;
    void SetList(const CIString& key, const Lines& lines);

    // True when the file could be read.
    bool IsLoaded() const { return m_loaded; }
    bool IsChanged() const { return m_changed; }
    // Writes the content when it changed. False when that failed: the file is
    // then as it was and the content stays changed, for a later try.
    bool Save();

private:
    struct Value {
        CIString text;
        bool changed = false;
    };
    struct ValueSection {
        std::map<CIString, Value> entries;
    };
    struct ListSection {
        Lines lines;
        bool changed = false;
    };

    void Read();
    static void SplitKey(const CIString& key, CIString& section, CIString& entry);

    std::unique_ptr<CPersistData> m_store;
    std::map<CIString, ListSection> m_lists;
    std::map<CIString, ValueSection> m_values;
    bool m_changed = false;
    bool m_loaded = false;
};
