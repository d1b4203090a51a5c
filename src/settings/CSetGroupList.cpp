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
        const auto from = ParseAddress(first.Trim().View());
        const auto to = ParseAddress(last.Trim().View());
        if (!from || !to)
            return false;
        entry.first = *from;
        entry.last = *to;
    } else {
        const auto slash = addresses.find('/');
        CIString address = addresses.substr(0, slash);
        CIString maskText = slash == CIString::npos ? CIString() : addresses.substr(slash + 1);
        const auto first = ParseAddress(address.Trim().View());
        if (!first)
            return false;
        entry.first = *first;
        maskText.Trim();
        if (!maskText.empty()) {
            const auto mask = ParseAddress(maskText.View());
            entry.mask = mask ? *mask : 0;
        }
        if (entry.mask == 0)
            return false;
    }
    m_entries.push_back(std::move(entry));
    return true;
}

void CSetGroupList::GetLines(int, Lines&) const {}

void CSetGroupList::SetLines(int sub, const Lines& lines, bool) {
    CSetEntryList::SetLines(sub, lines, true);
}

std::optional<CIString> CSetGroupList::Lookup(std::uint32_t address) const {
    StCritical lock(m_lock);
    for (const Entry& entry : m_entries) {
        const bool inside = entry.last ? entry.first <= address && address <= *entry.last
                                       : (address & entry.mask) == (entry.first & entry.mask);
        if (inside)
            return entry.name;
    }
    return std::nullopt;
}

std::optional<CIString> CSetGroupList::Lookup(const in_addr& address) const {
    return Lookup(static_cast<std::uint32_t>(ntohl(address.s_addr)));
}

std::optional<CIString> CSetGroupList::Lookup(std::string_view dottedAddress) const {
    const auto address = ParseAddress(dottedAddress);
    if (!address)
        return std::nullopt;
    return Lookup(*address);
}
