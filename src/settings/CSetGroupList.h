#pragma once

#include "os/CCriticalSection.h"
#include "settings/CSet.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

struct in_addr;

// Which user group a client belongs to, by its IPv4 address. Line form
// `name = address[/mask]` or `name = first - last`. Read from the start file
// and never written back.
class CSetGroupList : public CSet {
public:
    // Addresses and masks in host byte order.
    struct Entry {
        CIString name;
        std::uint32_t first = 0;
        std::optional<std::uint32_t> last; // set for a range
        std::uint32_t mask = 0xFFFFFFFFu;
    };

    CSetGroupList() = default;
    CSetGroupList(const CSetGroupList& other);
    CSetGroupList& operator=(const CSetGroupList& other);

    // Writes nothing: the list lives in the start file only.
    void GetLines(int sub, Lines& lines) const override;
    // Appends always; the list is never emptied by reading.
    void SetLines(int sub, const Lines& lines, bool append) override;
    bool IsList() const override { return true; }

    // The group of the first entry that holds address (host byte order).
    std::optional<CIString> Lookup(std::uint32_t hostOrderAddress) const;
    std::optional<CIString> Lookup(const in_addr& address) const;
    // Dotted text; none when the text is no address.
    std::optional<CIString> Lookup(std::string_view dottedAddress) const;

    bool AddLine(std::string_view line);

    std::size_t Count() const;
    bool GetEntry(std::size_t index, Entry& entry) const;
    void Clear();

    // Dotted IPv4 text to a host-order address.
    static std::optional<std::uint32_t> ParseAddress(std::string_view text);

private:
    mutable CCriticalSection m_lock;
    std::vector<Entry> m_entries;
};
