#include "settings/CSetGroupList.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <string>
#include <utility>

std::optional<std::uint32_t> CSetGroupList::ParseAddress(std::string_view text) {
    // inet_pton rather than inet_addr: the latter cannot tell the all-ones
    // address (a host mask) from its error value.
    const std::string dotted(text);
    in_addr address{};
    if (inet_pton(AF_INET, dotted.c_str(), &address) != 1)
        return std::nullopt;
    return ntohl(address.s_addr);
}

namespace {

// An IPv6 prefix length: 1 to 128 decimal digits' worth; none otherwise.
std::optional<int> ParsePrefixBits(std::string_view text) {
    if (text.empty() || text.size() > 3)
        return std::nullopt;
    int bits = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        bits = bits * 10 + (c - '0');
    }
    if (bits < 1 || bits > 128)
        return std::nullopt;
    return bits;
}

// The mask of the last bits of a mapped IPv4 prefix (::ffff:a.b.c.d/n).
std::uint32_t MappedMask(int bits) {
    const int v4Bits = bits - 96;
    return v4Bits <= 0 ? 0 : static_cast<std::uint32_t>(0xFFFFFFFFull << (32 - v4Bits));
}

} // namespace

bool CSetGroupList::AddLineLocked(std::string_view line) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos)
        return false;
    Entry entry;
    entry.name = CIString(line.substr(0, equals));
    entry.name.Trim();
    CIString addresses(line.substr(equals + 1));

    if (const auto dash = addresses.find('-'); dash != CIString::npos) {
        CIString first = addresses.substr(0, dash);
        CIString last = addresses.substr(dash + 1);
        // A client of an IPv4 mapped address is seen as IPv4 (os/CNetAddress.h).
        const auto from = CNetAddress::Parse(first.Trim().View());
        const auto to = CNetAddress::Parse(last.Trim().View());
        if (!from || !to || from->Unmapped().GetFamily() != to->Unmapped().GetFamily())
            return false;
        entry.first = from->Unmapped();
        entry.last = to->Unmapped();
    } else {
        const auto slash = addresses.find('/');
        CIString address = addresses.substr(0, slash);
        CIString maskText = slash == CIString::npos ? CIString() : addresses.substr(slash + 1);
        const auto first = CNetAddress::Parse(address.Trim().View());
        if (!first)
            return false;
        maskText.Trim();
        if (first->IsV4()) {
            // The IPv4 form and its meaning stay as they always were: a
            // dotted mask; any other mask text refuses the entry.
            if (!maskText.empty()) {
                const auto mask = ParseAddress(maskText.View());
                entry.mask = mask ? *mask : 0;
            }
            if (entry.mask == 0)
                return false;
            entry.first = *first;
        } else {
            std::optional<int> bits = 128;
            if (slash != CIString::npos)
                bits = ParsePrefixBits(maskText.View());
            if (!bits)
                return false;
            if (first->Unmapped().IsV4()) {
                entry.first = first->Unmapped();
                entry.mask = MappedMask(*bits);
            } else {
                entry.first = *first;
                entry.prefixBits = *bits;
            }
        }
    }
    m_entries.push_back(std::move(entry));
    return true;
}

void CSetGroupList::GetLines(int, Lines&) const {}

void CSetGroupList::SetLines(int sub, const Lines& lines, bool) {
    CSetEntryList::SetLines(sub, lines, true);
}

std::optional<CIString> CSetGroupList::Lookup(const CNetAddress& client) const {
    const CNetAddress address = client.Unmapped();
    StCritical lock(m_lock);
    for (const Entry& entry : m_entries) {
        if (entry.first.GetFamily() != address.GetFamily())
            continue;
        bool inside = false;
        if (entry.last)
            inside = entry.first <= address && address <= *entry.last;
        else if (address.IsV4())
            inside = (address.V4() & entry.mask) == (entry.first.V4() & entry.mask);
        else
            inside = address.InPrefix(entry.first, entry.prefixBits);
        if (inside)
            return entry.name;
    }
    return std::nullopt;
}

std::optional<CIString> CSetGroupList::Lookup(std::uint32_t address) const {
    return Lookup(CNetAddress::FromV4(address));
}

std::optional<CIString> CSetGroupList::Lookup(std::string_view addressText) const {
    const auto address = CNetAddress::Parse(addressText);
    if (!address)
        return std::nullopt;
    return Lookup(*address);
}
