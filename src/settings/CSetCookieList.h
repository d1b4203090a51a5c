#pragma once

#include "settings/CSetEntryList.h"
#include "text/CRegEx.h"

#include <cstddef>
#include <string_view>

// How cookies of a host are treated.
enum CookieManner : int {
    kCookieBad = 1,
    kCookieNeutral = 2,
    kCookieGood = 3,
};

// One host rule of a cookie list (CSetCookieList::Entry).
struct CSetCookieListEntry {
    CRegEx pattern;
    int manner = kCookieBad;
};

// What a cookie list keeps besides its rules.
struct CSetCookieListState {
    int defaultManner = kCookieNeutral;
};

// Cookie rules by host pattern, with a default manner for hosts that no entry
// matches. Line form: host pattern, comma, manner code (0 bad, 1 neutral,
// 2 good); the line `*,`code sets the default manner.
class CSetCookieList : public CSetEntryList<CSetCookieListEntry, CSetCookieListState> {
public:
    using Entry = CSetCookieListEntry;
    struct EntryInfo {
        CIString pattern;
        int manner = kCookieBad;
    };

    void GetLines(int sub, Lines& lines) const override;
    void LoadBuiltIn(int sub, const char* const* table, bool encoded) override;

    // The manner of the first entry whose pattern matches host, 0 when none does
    // (the caller then uses DefaultManner()).
    int Lookup(std::string_view host) const;
    int DefaultManner() const;
    void SetDefaultManner(int manner);

    // AddLine reduces the line's text to a host pattern and reads the manner
    // code; it refuses a known pattern or one that reduces to nothing.

    // Adds a pattern as it stands with a manner; false when an entry with that
    // pattern exists.
    bool Add(std::string_view pattern, int manner);

    bool GetEntry(std::size_t index, EntryInfo& info) const;
    // Gives entry index a new pattern (as it stands, no duplicate check) and manner.
    bool SetEntry(std::size_t index, std::string_view pattern, int manner);
    bool SetManner(std::size_t index, int manner);

    // The host pattern of a line's text: scheme, path and port dropped, commas
    // turned into points, characters that cannot occur in a host pattern deleted.
    static CIString ReduceToHost(std::string_view text);

private:
    bool AddLineLocked(std::string_view line) override;
    bool ExistsLocked(std::string_view pattern) const;
};
