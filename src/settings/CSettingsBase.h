#pragma once

#include "settings/CConfigData.h"
#include "settings/CSet.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

class CStatistic;

// A registry of settings: dotted key names ("ProxyEngine.LocalPort") mapped to
// the typed values of a subclass, and the settings file the values come from
// and go back to.
//
// Objects are reference counted and delete themselves when the last holder
// releases them (hold them through CSettingsRef).
class CSettingsBase {
public:
    // Where a value came from. A user's object never writes values merged
    // from the defaults file into the user's own file.
    enum class State : std::uint8_t {
        BuiltIn = 0,  // the compiled-in default
        UserFile = 1, // read from a user's file
        Defaults = 2, // read from the defaults file, or merged from it
    };
    struct Entry {
        CSet* value;
        State state;
        int sub; // bit number for a flag word, else -1
    };
    using KeyMap = std::map<CIString, Entry>;

    // store may be null: such an object can't be saved.
    CSettingsBase(std::string_view userName, std::unique_ptr<CConfigData> store, bool isDefault);
    virtual ~CSettingsBase();
    CSettingsBase& operator=(const CSettingsBase&) = delete;

    // The value registered under key (any case), and its sub-key; null for an
    // unknown key.
    CSet* Find(const CIString& key, int& sub) const;
    const KeyMap& Keys() const { return m_keys; }

    // Writes every savable value into the store and has the store write its
    // file when anything changed. False when there is no store or the file
    // could not be written.
    bool Save();
    // Deletes the store (after a last save of what it changed); the object
    // can no longer be saved.
    void DropStore();
    bool HasStore() const { return m_store != nullptr; }
    // Whether the store found its file.
    bool StoreLoaded() const { return m_store && m_store->IsLoaded(); }

    void AddRef() const { m_refs.fetch_add(1, std::memory_order_relaxed); }
    void Release() const {
        if (m_refs.fetch_sub(1, std::memory_order_acq_rel) <= 1)
            delete this;
    }
    int RefCount() const { return m_refs.load(std::memory_order_relaxed); }

    bool IsDefault() const { return m_isDefault; }
    const std::string& UserName() const { return m_userName; }
    CStatistic* Statistic() const { return m_statistic; }
    void SetStatistic(CStatistic* statistic) { m_statistic = statistic; }

    // Copies every value that the defaults read from their file into user
    // (lists too, unless skipLists); the copied entries count as merged. Both
    // objects must be of one class, so that their key maps match.
    static void Merge(CSettingsBase* user, const CSettingsBase* defaults, bool skipLists);

protected:
    // The copy of a subclass: its values only; no keys, no store, no user.
    CSettingsBase(const CSettingsBase& other);

    // Enters a value under its key and takes its text from the store when the
    // store has it. Called by the subclasses' constructors, once per key,
    // after every value holds its compiled-in default. Keys containing
    // "INTERN." name built-in values: they never enter the map or a file.
    void Register(const char* key, CSet& value, int sub = -1);
    // A list value whose file section is missing: fill it with its
    // compiled-in entries.
    virtual void LoadListDefault(const CIString& /*key*/, CSet& /*value*/, int /*sub*/) {}

private:
    mutable std::atomic<int> m_refs{1};
    bool m_isDefault;
    KeyMap m_keys;
    std::unique_ptr<CConfigData> m_store;
    std::string m_userName;
    CStatistic* m_statistic = nullptr;
};
