#pragma once

#include "settings/CSetEntryList.h"

#include <cstddef>
#include <string_view>

// One media type of the list (CSetMediaTypes::Entry).
struct CSetMediaTypesEntry {
    CIString type;
    CIString extension;
    bool active = true;
    bool dontFilter = false;
};

// Media types to block, kept ordered by type (equal types in insertion order).
// Line form: `//` when inactive, `!` when don't-filter, the type, and `;` with
// a file extension when there is one. An entry of a main type alone (`image`)
// covers every subtype. AddLine never refuses a line.
class CSetMediaTypes : public CSetEntryList<CSetMediaTypesEntry> {
public:
    using Entry = CSetMediaTypesEntry;

    void GetLines(int sub, Lines& lines) const override;

    // 0 not listed, 1 listed, 2 listed as don't-filter.
    int MatchType(std::string_view mediaType) const;
    int MatchExtension(std::string_view extension) const;

private:
    bool AddLineLocked(std::string_view line) override;
};
