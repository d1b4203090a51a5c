#pragma once

#include "settings/CSetEntryList.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

struct in_addr;

// One address rule of the group list (CSetGroupList::Entry); addresses and
// masks in host byte order.
struct CSetGroupListEntry {
    CIString name;
    std::uint32_t first = 0;
    std::optional<std::uint32_t> last; // set for a range
    std::uint32_t mask = 0xFFFFFFFFu;
};

// Which user group a client belongs to, by its IPv4 address. Line form
// `name = address[/mask]` or `name = first - last`. Read from the start file
// and never written back.
class CSetGroupList : public CSetEntryList<CSetGroupListEntry> {
public:
    using Entry = CSetGroupListEntry;

    // Writes nothing: the list lives in the start file only.
    void GetLines(int sub, Lines& lines) const override;
    // Appends always; the list is never emptied by reading.
    void SetLines(int sub, const Lines& lines, bool append) override;

    // The group of the first entry that holds address (host byte order).
    std::optional<CIString> Lookup(std::uint32_t hostOrderAddress) const;
    std::optional<CIString> Lookup(const in_addr& address) const;
    // Dotted text; none when the text is no address.
    std::optional<CIString> Lookup(std::string_view dottedAddress) const;

    // Dotted IPv4 text to a host-order address.
    static std::optional<std::uint32_t> ParseAddress(std::string_view text);

private:
    bool AddLineLocked(std::string_view line) override;
};
