#pragma once

#include "os/CCriticalSection.h"
#include "settings/CSet.h"
#include "washers/CRegEx.h"

#include <cstddef>
#include <string_view>
#include <vector>

// A list of URL patterns (blocked URLs, advertising URLs). Each entry is active
// or inactive and may be marked don't-filter, which makes a hit exempt the URL
// instead of listing it.
//
// Line form: `//` when inactive, then `!` when don't-filter, then the pattern.
// Built-in tables may instead carry a three-character prefix: a first character
// (`!` = inactive), a second (`x` = don't-filter, `X` also the built-in mark), TAB.
class CSetURLList : public CSet {
public:
    struct Entry {
        bool active = true;
        bool dontFilter = false;
        bool builtIn = false;
        CRegEx pattern;
    };
    // What the list editor shows of an entry.
    struct EntryInfo {
        CIString pattern;
        bool active = true;
        bool dontFilter = false;
        bool builtIn = false;
    };

    CSetURLList() = default;
    CSetURLList(const CSetURLList& other);
    CSetURLList& operator=(const CSetURLList& other);

    void GetLines(int sub, Lines& lines) const override;
    void SetLines(int sub, const Lines& lines, bool append) override;
    void LoadBuiltIn(int sub, const char* const* table, bool encoded) override;
    bool IsList() const override { return true; }

    // 0 when no active entry matches the URL, 1 when the first matching active
    // entry is a normal one, 2 when it is marked don't-filter.
    int Match(std::string_view url) const;
    // The same for a URL already passed through CRegEx::Encode.
    int MatchEncoded(const CIString& encodedUrl) const;

    // Adds one list line; false when it is refused (duplicate pattern).
    bool AddLine(std::string_view line);
    // Adds a pattern with the given flags, normalised as a line's pattern; false
    // when an entry with the same pattern exists.
    bool Add(std::string_view pattern, bool active, bool dontFilter, bool builtIn = false);

    std::size_t Count() const;
    bool GetEntry(std::size_t index, EntryInfo& info) const;
    // Changes the pattern of entry index; refused when the index is out of range
    // or another entry already has that (normalised) pattern.
    bool ChangePattern(std::size_t index, std::string_view pattern);
    bool SetFlags(std::size_t index, bool active, bool dontFilter);
    bool Remove(std::size_t index);
    void Clear();

    // The stored form of a typed pattern: bytes outside printable ASCII
    // percent-encoded, leading `//` and `!` removed.
    static CIString NormalisePattern(std::string_view pattern);

private:
    bool AddLocked(std::string_view line);
    bool AddEntryLocked(CIString pattern, bool active, bool dontFilter, bool builtIn);
    std::ptrdiff_t FindLocked(const CIString& pattern, std::ptrdiff_t except) const;

    mutable CCriticalSection m_lock;
    std::vector<Entry> m_entries;
};
