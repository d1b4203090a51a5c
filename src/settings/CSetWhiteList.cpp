#include "settings/CSetWhiteList.h"

#include <cstdio>
#include <string>
#include <utility>

CSetWhiteList::CSetWhiteList(const CSetWhiteList& other) : CSet(other) {
    StCritical lock(other.m_lock);
    m_entries = other.m_entries;
}

CSetWhiteList& CSetWhiteList::operator=(const CSetWhiteList& other) {
    if (this != &other) {
        std::vector<Entry> copy;
        {
            StCritical lock(other.m_lock);
            copy = other.m_entries;
        }
        StCritical lock(m_lock);
        m_entries = std::move(copy);
    }
    return *this;
}

std::ptrdiff_t CSetWhiteList::FindLocked(std::string_view pattern, std::ptrdiff_t except) const {
    const ci_string_view wanted(pattern.data(), pattern.size());
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (static_cast<std::ptrdiff_t>(i) != except && m_entries[i].pattern.Text() == wanted)
            return static_cast<std::ptrdiff_t>(i);
    return -1;
}

bool CSetWhiteList::AddLine(std::string_view line) {
    const auto comma = line.rfind(',');
    if (comma == std::string_view::npos)
        return false;
    // Text after the comma that is no number exempts from nothing.
    unsigned bits = 0;
    const std::string number(line.substr(comma + 1));
    if (std::sscanf(number.c_str(), "%u", &bits) != 1)
        bits = 0;
    return Add(line.substr(0, comma), bits);
}

bool CSetWhiteList::Add(std::string_view pattern, std::uint32_t bits) {
    if (pattern.empty())
        return false;
    StCritical lock(m_lock);
    if (FindLocked(pattern, -1) >= 0)
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

void CSetWhiteList::SetLines(int, const Lines& lines, bool append) {
    if (!append)
        Clear();
    for (const CIString& line : lines)
        AddLine(line.View());
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

std::size_t CSetWhiteList::Count() const {
    StCritical lock(m_lock);
    return m_entries.size();
}

bool CSetWhiteList::GetEntry(std::size_t index, EntryInfo& info) const {
    StCritical lock(m_lock);
    if (index >= m_entries.size())
        return false;
    info.pattern = m_entries[index].pattern.GetPattern();
    info.bits = m_entries[index].bits;
    return true;
}

bool CSetWhiteList::SetBits(std::size_t index, std::uint32_t bits) {
    StCritical lock(m_lock);
    if (index >= m_entries.size())
        return false;
    m_entries[index].bits = bits;
    return true;
}

bool CSetWhiteList::ChangePattern(std::size_t index, std::string_view pattern) {
    StCritical lock(m_lock);
    if (index >= m_entries.size() || FindLocked(pattern, static_cast<std::ptrdiff_t>(index)) >= 0)
        return false;
    m_entries[index].pattern.SetPattern(std::string(pattern).c_str());
    return true;
}

bool CSetWhiteList::Remove(std::size_t index) {
    StCritical lock(m_lock);
    if (index >= m_entries.size())
        return false;
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

void CSetWhiteList::Clear() {
    StCritical lock(m_lock);
    m_entries.clear();
}
