#pragma once

#include "settings/CSetEntryList.h"
#include "text/CRegEx.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// Filter exemptions of a white-listed URL.
enum WhiteListBits : std::uint32_t {
    kWhiteStandard = 1,
    kWhitePrivacy = 2,
    kWhiteSecurity = 4,
    kWhiteBlocking = 8,
    kWhiteAll = 15, // every filter off
};

// One pattern of a white list (CSetWhiteList::Entry).
struct CSetWhiteListEntry {
    CRegEx pattern;
    std::uint32_t bits = 0;
};

// URL patterns with the filters they are exempt from. Line form: pattern,
// comma, the exemption bits as an unsigned decimal number. AddLine refuses a
// line without a comma, or with an empty or known pattern.
class CSetWhiteList : public CSetEntryList<CSetWhiteListEntry> {
public:
    using Entry = CSetWhiteListEntry;
    struct EntryInfo {
        CIString pattern;
        std::uint32_t bits = 0;
    };

    void GetLines(int sub, Lines& lines) const override;

    // The exemption bits of the first entry matching url; 0 when none matches or
    // the URL is empty.
    std::uint32_t Lookup(std::string_view url) const;

    // False when the pattern is empty or listed already.
    bool Add(std::string_view pattern, std::uint32_t bits);

    bool GetEntry(std::size_t index, EntryInfo& info) const;
    bool SetBits(std::size_t index, std::uint32_t bits);
    // Refused when another entry already has that pattern.
    bool ChangePattern(std::size_t index, std::string_view pattern);

private:
    bool AddLineLocked(std::string_view line) override;
    bool AddLocked(std::string_view pattern, std::uint32_t bits);
    std::ptrdiff_t FindLocked(std::string_view pattern, std::ptrdiff_t except) const;
};
