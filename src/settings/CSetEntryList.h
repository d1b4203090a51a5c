#pragma once

#include "os/CCriticalSection.h"
#include "settings/BuiltInLists.h"
#include "settings/CSet.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

// What a list keeps besides its entries, for the lists that keep nothing else.
struct CSetNoListState {};

// The part every filter list shares: its entries in a vector behind one lock,
// copied whole and edited by index. Edits hold the lock alone; a list's
// lookups may hold it shared, side by side. A list adds its own line syntax
// (AddLineLocked, GetLines), its lookups and its editing rules.
//
// State is whatever else a list keeps that must agree with its entries; it
// lives under the same lock and is copied with them.
//
// A copy takes the source's lock to read it, lets go, and only then takes its
// own: no operation ever holds two lists' locks.
template <class Entry, class State = CSetNoListState> class CSetEntryList : public CSet {
public:
    CSetEntryList(const CSetEntryList& other) : CSet(other) {
        StCritical lock(other.m_lock);
        m_entries = other.m_entries;
        m_state = other.m_state;
    }

    CSetEntryList& operator=(const CSetEntryList& other) {
        if (this != &other) {
            std::vector<Entry> entries;
            State state;
            {
                StCritical lock(other.m_lock);
                entries = other.m_entries;
                state = other.m_state;
            }
            CSet::operator=(other);
            StCritical lock(m_lock);
            m_entries = std::move(entries);
            m_state = std::move(state);
        }
        return *this;
    }

    // Reading a section replaces the entries, or adds to them when append is
    // set; lines the list refuses are dropped.
    void SetLines(int /*sub*/, const Lines& lines, bool append) override {
        StCritical lock(m_lock);
        if (!append)
            m_entries.clear();
        for (const CIString& line : lines)
            AddLineChecked(line.View());
        EntriesChangedLocked();
    }

    bool IsList() const override { return true; }

    // Adds one list line; false when the list refuses it.
    bool AddLine(std::string_view line) {
        StCritical lock(m_lock);
        const bool added = AddLineChecked(line);
        EntriesChangedLocked();
        return added;
    }

    std::size_t Count() const {
        StCritical lock(m_lock);
        return m_entries.size();
    }

    // A copy of entry index as stored.
    bool GetEntry(std::size_t index, Entry& entry) const {
        return ReadEntry(index, [&entry](const Entry& stored) { entry = stored; });
    }

    // For the lists whose entries can be inactive or marked don't-filter.
    bool SetFlags(std::size_t index, bool active, bool dontFilter) requires requires(Entry& entry) {
        entry.active = true;
        entry.dontFilter = true;
    }
    {
        return EditEntry(index, [&](Entry& entry) {
            entry.active = active;
            entry.dontFilter = dontFilter;
        });
    }

    bool Remove(std::size_t index) {
        StCritical lock(m_lock);
        if (index >= m_entries.size())
            return false;
        m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
        EntriesChangedLocked();
        return true;
    }

    void Clear() {
        StCritical lock(m_lock);
        m_entries.clear();
        EntriesChangedLocked();
    }

protected:
    CSetEntryList() = default;

    // Reads one line and adds its entry, or refuses it; m_lock is held.
    virtual bool AddLineLocked(std::string_view line) = 0;
    // Called with m_lock held after every change of the entries, for a list
    // that keeps an index of them.
    virtual void EntriesChangedLocked() {}
    // The same for a line from outside: patterns are kept as C strings, so a
    // NUL would cut the entry short and it would be written back as another.
    bool AddLineChecked(std::string_view line) {
        return line.find('\0') == std::string_view::npos && AddLineLocked(line);
    }

    // Empties the list and passes every entry of a compiled-in table, its text
    // unscrambled when encoded, to add; all under the lock. Malformed encoded
    // entries are skipped.
    template <class Add> void LoadTable(const char* const* table, bool encoded, Add add) {
        StCritical lock(m_lock);
        m_entries.clear();
        EntriesChangedLocked();
        if (!table)
            return;
        std::string text;
        for (; *table; ++table) {
            if (!encoded)
                add(std::string_view(*table));
            else if (builtin::Unscramble(*table, text))
                add(std::string_view(text));
        }
        EntriesChangedLocked();
    }

    void LoadTable(const char* const* table, bool encoded) {
        LoadTable(table, encoded, [this](std::string_view text) { AddLineLocked(text); });
    }

    // The flags in front of a line of the lists whose entries can be inactive
    // or don't-filter: `//` when inactive, then `!` when don't-filter. Tables
    // compiled into the program may instead carry three characters: `!` when
    // inactive, `x` when don't-filter (`X` also marks it built in), TAB.
    struct LineFlags {
        bool active = true;
        bool dontFilter = false;
        bool builtIn = false;
    };

    // Reads the flags off the front of line.
    static LineFlags TakeLineFlags(std::string_view& line) {
        LineFlags flags;
        if (line.size() > 3 && line[2] == '\t') {
            flags.active = line[0] != '!';
            flags.dontFilter = line[1] == 'x' || line[1] == 'X';
            flags.builtIn = line[1] == 'X';
            line.remove_prefix(3);
            return flags;
        }
        if (line.starts_with("//")) {
            flags.active = false;
            line.remove_prefix(2);
        }
        if (line.starts_with("!")) {
            flags.dontFilter = true;
            line.remove_prefix(1);
        }
        return flags;
    }

    // The front of a written line; the built-in mark is never written.
    static CIString LineFlagsText(bool active, bool dontFilter) {
        CIString text;
        if (!active)
            text += "//";
        if (dontFilter)
            text += "!";
        return text;
    }

    // The index of the first entry other than except that satisfies matches,
    // -1 when there is none; m_lock is held.
    template <class Matches>
    std::ptrdiff_t FindLocked(Matches matches, std::ptrdiff_t except = -1) const {
        for (std::size_t i = 0; i < m_entries.size(); ++i)
            if (static_cast<std::ptrdiff_t>(i) != except && matches(m_entries[i]))
                return static_cast<std::ptrdiff_t>(i);
        return -1;
    }

    // Runs read on entry index under the lock; false when there is no such
    // entry.
    template <class Read> bool ReadEntry(std::size_t index, Read read) const {
        StCritical lock(m_lock);
        if (index >= m_entries.size())
            return false;
        read(m_entries[index]);
        return true;
    }

    // Runs change on entry index under the lock; false when there is no such
    // entry, or when change returns false (it refused).
    template <class Change> bool EditEntry(std::size_t index, Change change) {
        StCritical lock(m_lock);
        if (index >= m_entries.size())
            return false;
        if constexpr (std::is_void_v<std::invoke_result_t<Change&, Entry&>>) {
            change(m_entries[index]);
            EntriesChangedLocked();
            return true;
        } else {
            const bool changed = change(m_entries[index]);
            EntriesChangedLocked();
            return changed;
        }
    }

    mutable CSharedSection m_lock;
    std::vector<Entry> m_entries;
    [[no_unique_address]] State m_state{};
};
