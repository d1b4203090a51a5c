#pragma once

#include "os/CNetAddress.h"
#include "settings/CSetEntryList.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// One address rule of the group list (CSetGroupList::Entry). An IPv4 rule
// keeps its mask, which need not be a prefix; an IPv6 rule a prefix length.
struct CSetGroupListEntry {
    CIString name;
    CNetAddress first;
    std::optional<CNetAddress> last;  // set for a range, of the family of first
    std::uint32_t mask = 0xFFFFFFFFu; // IPv4, host byte order
    int prefixBits = 128;             // IPv6
};

// Which user group a client belongs to, by its address. Line form
// `name = address[/mask]` or `name = first - last`; an IPv6 address takes a
// prefix length after the slash (`2001:db8::/32`), an IPv4 one a dotted mask.
// Read from the start file and never written back.
class CSetGroupList : public CSetEntryList<CSetGroupListEntry> {
public:
    using Entry = CSetGroupListEntry;

    // Writes nothing: the list lives in the start file only.
    void GetLines(int sub, Lines& lines) const override;
    // Appends always; the list is never emptied by reading.
    void SetLines(int sub, const Lines& lines, bool append) override;

    // The group of the first entry that holds address.
    std::optional<CIString> Lookup(const CNetAddress& address) const;
    // An IPv4 address in host byte order.
    std::optional<CIString> Lookup(std::uint32_t hostOrderAddress) const;
    // Address text of either family; none when the text is no address.
    std::optional<CIString> Lookup(std::string_view addressText) const;

    // Dotted IPv4 text to a host-order address.
    static std::optional<std::uint32_t> ParseAddress(std::string_view text);

private:
    bool AddLineLocked(std::string_view line) override;
};
