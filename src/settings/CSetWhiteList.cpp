#include "settings/CSetWhiteList.h"

#include <cstdio>
#include <string>
#include <utility>

std::ptrdiff_t CSetWhiteList::FindLocked(std::string_view pattern, std::ptrdiff_t except) const {
    const ci_string_view wanted(pattern.data(), pattern.size());
    return CSetEntryList::FindLocked(
        [wanted](const Entry& entry) { return entry.pattern.Text() == wanted; }, except);
}

bool CSetWhiteList::AddLineLocked(std::string_view line) {
    const auto comma = line.rfind(',');
    if (comma == std::string_view::npos)
        return false;
    // Text after the comma that is no number exempts from nothing.
    unsigned bits = 0;
    const std::string number(line.substr(comma + 1));
    if (std::sscanf(number.c_str(), "%u", &bits) != 1)
        bits = 0;
    return AddLocked(line.substr(0, comma), bits);
}

bool CSetWhiteList::Add(std::string_view pattern, std::uint32_t bits) {
    StCritical lock(m_lock);
    return AddLocked(pattern, bits);
}

bool CSetWhiteList::AddLocked(std::string_view pattern, std::uint32_t bits) {
    if (pattern.empty() || FindLocked(pattern, -1) >= 0)
        return false;
    Entry entry;
    entry.pattern.SetPattern(std::string(pattern).c_str());
    entry.bits = bits;
    m_entries.push_back(std::move(entry));
    return true;
}

void CSetWhiteList::GetLines(int, Lines& lines) const {
    StCritical lock(m_lock);
    for (const Entry& entry : m_entries) {
        char bits[16];
        std::snprintf(bits, sizeof bits, ",%u", static_cast<unsigned>(entry.bits));
        CIString line = entry.pattern.GetPattern();
        line += bits;
        lines.push_back(std::move(line));
    }
}

std::uint32_t CSetWhiteList::Lookup(std::string_view url) const {
    if (url.empty())
        return 0;
    CIString encoded(url);
    CRegEx::Encode(encoded);
    StCritical lock(m_lock);
    std::size_t length = 0;
    for (const Entry& entry : m_entries)
        if (entry.pattern.Match(encoded.c_str(), encoded.size(), length))
            return entry.bits;
    return 0;
}

bool CSetWhiteList::GetEntry(std::size_t index, EntryInfo& info) const {
    return ReadEntry(index, [&info](const Entry& entry) {
        info.pattern = entry.pattern.GetPattern();
        info.bits = entry.bits;
    });
}

bool CSetWhiteList::SetBits(std::size_t index, std::uint32_t bits) {
    return EditEntry(index, [bits](Entry& entry) { entry.bits = bits; });
}

bool CSetWhiteList::ChangePattern(std::size_t index, std::string_view pattern) {
    return EditEntry(index, [&](Entry& entry) {
        if (FindLocked(pattern, static_cast<std::ptrdiff_t>(index)) >= 0)
            return false;
        entry.pattern.SetPattern(std::string(pattern).c_str());
        return true;
    });
}
