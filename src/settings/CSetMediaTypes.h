#pragma once

#include "os/CCriticalSection.h"
#include "settings/CSet.h"

#include <cstddef>
#include <string_view>
#include <vector>

// Media types to block, kept ordered by type (equal types in insertion order).
// Line form: `//` when inactive, `!` when don't-filter, the type, and `;` with
// a file extension when there is one. An entry of a main type alone (`image`)
// covers every subtype.
class CSetMediaTypes : public CSet {
public:
    struct Entry {
        CIString type;
        CIString extension;
        bool active = true;
        bool dontFilter = false;
    };

    CSetMediaTypes() = default;
    CSetMediaTypes(const CSetMediaTypes& other);
    CSetMediaTypes& operator=(const CSetMediaTypes& other);

    void GetLines(int sub, Lines& lines) const override;
    void SetLines(int sub, const Lines& lines, bool append) override;
    bool IsList() const override { return true; }

    // 0 not listed, 1 listed, 2 listed as don't-filter.
    int MatchType(std::string_view mediaType) const;
    int MatchExtension(std::string_view extension) const;

    // Adds one list line; never refuses.
    bool AddLine(std::string_view line);

    std::size_t Count() const;
    bool GetEntry(std::size_t index, Entry& entry) const;
    bool SetFlags(std::size_t index, bool active, bool dontFilter);
    bool Remove(std::size_t index);
    void Clear();

private:
    mutable CCriticalSection m_lock;
    std::vector<Entry> m_entries;
};
