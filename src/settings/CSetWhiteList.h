#pragma once

#include "os/CCriticalSection.h"
#include "settings/CSet.h"
#include "washers/CRegEx.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Filter exemptions of a white-listed URL.
enum WhiteListBits : std::uint32_t {
    kWhiteStandard = 1,
    kWhitePrivacy = 2,
    kWhiteSecurity = 4,
    kWhiteBlocking = 8,
};

// URL patterns with the filters they are exempt from. Line form: pattern,
// comma, the exemption bits as an unsigned decimal number.
class CSetWhiteList : public CSet {
public:
    struct Entry {
        CRegEx pattern;
        std::uint32_t bits = 0;
    };
    struct EntryInfo {
        CIString pattern;
        std::uint32_t bits = 0;
    };

    CSetWhiteList() = default;
    CSetWhiteList(const CSetWhiteList& other);
    CSetWhiteList& operator=(const CSetWhiteList& other);

    void GetLines(int sub, Lines& lines) const override;
    void SetLines(int sub, const Lines& lines, bool append) override;
    bool IsList() const override { return true; }

    // The exemption bits of the first entry matching url; 0 when none matches or
    // the URL is empty.
    std::uint32_t Lookup(std::string_view url) const;

    // Adds one list line; false when refused (no comma, empty or known pattern).
    bool AddLine(std::string_view line);
    bool Add(std::string_view pattern, std::uint32_t bits);

    std::size_t Count() const;
    bool GetEntry(std::size_t index, EntryInfo& info) const;
    bool SetBits(std::size_t index, std::uint32_t bits);
    // Refused when another entry already has that pattern.
    bool ChangePattern(std::size_t index, std::string_view pattern);
    bool Remove(std::size_t index);
    void Clear();

private:
    std::ptrdiff_t FindLocked(std::string_view pattern, std::ptrdiff_t except) const;

    mutable CCriticalSection m_lock;
    std::vector<Entry> m_entries;
};
