#pragma once

#include "os/CCriticalSection.h"
#include "settings/CSet.h"
#include "washers/CRegEx.h"

#include <cstddef>
#include <string_view>
#include <vector>

// How cookies of a host are treated.
enum CookieManner : int {
    kCookieBad = 1,
    kCookieNeutral = 2,
    kCookieGood = 3,
};

// Cookie rules by host pattern, with a default manner for hosts that no entry
// matches. Line form: host pattern, comma, manner code (0 bad, 1 neutral,
// 2 good); the line `*,`code sets the default manner.
class CSetCookieList : public CSet {
public:
    struct Entry {
        CRegEx pattern;
        int manner = kCookieBad;
    };
    struct EntryInfo {
        CIString pattern;
        int manner = kCookieBad;
    };

    CSetCookieList() = default;
    CSetCookieList(const CSetCookieList& other);
    CSetCookieList& operator=(const CSetCookieList& other);

    void GetLines(int sub, Lines& lines) const override;
    void SetLines(int sub, const Lines& lines, bool append) override;
    void LoadBuiltIn(int sub, const char* const* table, bool encoded) override;
    bool IsList() const override { return true; }

    // The manner of the first entry whose pattern matches host, 0 when none does
    // (the caller then uses DefaultManner()).
    int Lookup(std::string_view host) const;
    int DefaultManner() const;
    void SetDefaultManner(int manner);

    // Adds one list line (host reduction, manner code); false when refused.
    bool AddLine(std::string_view line);
    // Adds a pattern as it stands with a manner; false when an entry with that
    // pattern exists.
    bool Add(std::string_view pattern, int manner);

    std::size_t Count() const;
    bool GetEntry(std::size_t index, EntryInfo& info) const;
    // Gives entry index a new pattern (as it stands, no duplicate check) and manner.
    bool SetEntry(std::size_t index, std::string_view pattern, int manner);
    bool SetManner(std::size_t index, int manner);
    bool Remove(std::size_t index);
    void Clear();

    // The host pattern of a line's text: scheme, path and port dropped, commas
    // turned into points, characters that cannot occur in a host pattern deleted.
    static CIString ReduceToHost(std::string_view text);

private:
    bool AddLineLocked(std::string_view line);
    bool ExistsLocked(std::string_view pattern) const;

    mutable CCriticalSection m_lock;
    std::vector<Entry> m_entries;
    int m_defaultManner = kCookieNeutral;
};
