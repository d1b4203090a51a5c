#pragma once

#include "settings/CSetEntryList.h"
#include "text/CRegEx.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// One pattern of a URL list (CSetURLList::Entry).
struct CSetURLListEntry {
    bool active = true;
    bool dontFilter = false;
    bool builtIn = false;
    bool namesHost = false; // the pattern has no path: it can judge a host alone
    CRegEx pattern;
    // Symbol pairs a URL must hold for the pattern to match it.
    std::array<std::uint16_t, 6> pairs{};
    std::uint8_t pairCount = 0;
    // Keeps the pairs that rule out the most URLs: those that ordinary URLs
    // rarely hold ("http://" is in every one).
    void PreparePairs();
};

// A list of URL patterns (blocked URLs, advertising URLs). Each entry is active
// or inactive and may be marked don't-filter, which makes a hit exempt the URL
// instead of listing it.
//
// Line form: `//` when inactive, then `!` when don't-filter, then the pattern.
// Built-in tables may instead carry a three-character prefix: a first character
// (`!` = inactive), a second (`x` = don't-filter, `X` also the built-in mark), TAB.
// Which entries a URL could match at all: the active entries filed under the
// rarest symbol pair each one requires, so that a lookup tries only the entries
// whose pair the URL holds. Rebuilt on the first lookup after a change (under
// the list's lock, from the const lookups: hence mutable).
struct CSetURLListIndex {
    // An entry as the index files it: its place in the list and the pairs it
    // requires, so that most entries are ruled out without touching them.
    struct Filed {
        std::uint32_t entry = 0;
        std::uint16_t pairCount = 0;
        std::array<std::uint16_t, 6> pairs{};
    };
    mutable bool stale = true;
    mutable std::vector<std::uint32_t> bucketStart; // per pair: where its entries begin
    mutable std::vector<Filed> bucketed;            // by pair
    mutable std::vector<std::uint32_t> unfiltered;  // active entries that require no pair
};

class CSetURLList : public CSetEntryList<CSetURLListEntry, CSetURLListIndex> {
public:
    using Entry = CSetURLListEntry;
    // What the list editor shows of an entry.
    struct EntryInfo {
        CIString pattern;
        bool active = true;
        bool dontFilter = false;
        bool builtIn = false;
    };

    void GetLines(int sub, Lines& lines) const override;
    void LoadBuiltIn(int sub, const char* const* table, bool encoded) override;

    // 0 when no active entry matches the URL, 1 when the first matching active
    // entry is a normal one, 2 when it is marked don't-filter.
    int Match(std::string_view url) const;
    // The same for a URL already passed through CRegEx::Encode.
    int MatchEncoded(const CIString& encodedUrl) const;
    // Match for a host alone (a tunnel's), by the entries without a path
    // ("doubleclick.net", "~http://ad.*"). A hit must begin and end at label
    // boundaries of the host or of a host above it, so "media.net" judges
    // "x.media.net" and not "socialmedia.net". The deciding entry's pattern
    // goes to entry when given.
    int MatchHost(std::string_view host, CIString* entry = nullptr) const;

    // AddLine refuses a line whose pattern is listed already.

    // Adds a pattern with the given flags, normalised as a line's pattern; false
    // when an entry with the same pattern exists.
    bool Add(std::string_view pattern, bool active, bool dontFilter, bool builtIn = false);

    bool GetEntry(std::size_t index, EntryInfo& info) const;
    // Changes the pattern of entry index; refused when the index is out of range
    // or another entry already has that (normalised) pattern.
    bool ChangePattern(std::size_t index, std::string_view pattern);

    // The stored form of a typed pattern: bytes outside printable ASCII
    // percent-encoded, leading `//` and `!` removed.
    static CIString NormalisePattern(std::string_view pattern);

private:
    bool AddLineLocked(std::string_view line) override;
    void EntriesChangedLocked() override { m_state.stale = true; }
    // Makes the index agree with the entries; m_lock is held.
    void RebuildIndexLocked() const;
    // The lookup over an index that agrees with the entries; m_lock is held,
    // shared or alone.
    int MatchIndexedLocked(const CIString& encodedUrl, const CRegEx::TextPairs& pairs) const;
    bool AddEntryLocked(CIString pattern, bool active, bool dontFilter, bool builtIn);
    std::ptrdiff_t FindLocked(const CIString& pattern, std::ptrdiff_t except) const;
};
