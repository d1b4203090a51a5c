#include "settings/CSetDimList.h"

#include "settings/BuiltInLists.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

namespace {

constexpr int kMaxSide = 32767;

bool InRange(int width, int height) {
    return width >= 1 && width <= kMaxSide && height >= 1 && height <= kMaxSide;
}

CIString SizeLine(const CSetDimList::Entry& entry) {
    char text[40];
    std::snprintf(text, sizeof text, entry.Active() ? "%d,%d" : "//%d,%d", std::abs(entry.width),
                  std::abs(entry.height));
    return CIString(text);
}

} // namespace

CSetDimList::CSetDimList(const CSetDimList& other) : CSet(other) {
    StCritical lock(other.m_lock);
    m_entries = other.m_entries;
}

CSetDimList& CSetDimList::operator=(const CSetDimList& other) {
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

bool CSetDimList::ParseSize(std::string_view text, int& width, int& height) {
    const std::string line(text);
    return std::sscanf(line.c_str(), "%d,%d", &width, &height) == 2 ||
           std::sscanf(line.c_str(), "%d x %d", &width, &height) == 2;
}

std::ptrdiff_t CSetDimList::FindLocked(int width, int height, std::ptrdiff_t except) const {
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (static_cast<std::ptrdiff_t>(i) != except && std::abs(m_entries[i].width) == width &&
            std::abs(m_entries[i].height) == height)
            return static_cast<std::ptrdiff_t>(i);
    return -1;
}

bool CSetDimList::AddLine(std::string_view line) {
    if (line.empty())
        return false;
    bool active = true;
    if (line.starts_with("//")) {
        active = false;
        line.remove_prefix(2);
    }
    int width = 0;
    int height = 0;
    if (!ParseSize(line, width, height) || !InRange(width, height))
        return false;
    StCritical lock(m_lock);
    if (FindLocked(width, height, -1) >= 0)
        return false;
    m_entries.push_back(active ? Entry{width, height} : Entry{-width, -height});
    return true;
}

void CSetDimList::GetLines(int, Lines& lines) const {
    StCritical lock(m_lock);
    for (const Entry& entry : m_entries)
        lines.push_back(SizeLine(entry));
}

void CSetDimList::SetLines(int, const Lines& lines, bool append) {
    if (!append)
        Clear();
    for (const CIString& line : lines)
        AddLine(line.View());
}

void CSetDimList::LoadBuiltIn(int, const char* const* table, bool encoded) {
    Clear();
    if (!table)
        return;
    std::string text;
    for (; *table; ++table) {
        if (!encoded)
            AddLine(*table);
        else if (builtin::Unscramble(*table, text))
            AddLine(text);
    }
}

bool CSetDimList::Contains(int width, int height) const {
    if (width <= 0 || height <= 0)
        return false;
    StCritical lock(m_lock);
    for (const Entry& entry : m_entries)
        if (entry.width == width && entry.height == height)
            return true;
    return false;
}

std::size_t CSetDimList::Count() const {
    StCritical lock(m_lock);
    return m_entries.size();
}

bool CSetDimList::GetEntry(std::size_t index, Entry& entry) const {
    StCritical lock(m_lock);
    if (index >= m_entries.size())
        return false;
    entry = m_entries[index];
    return true;
}

bool CSetDimList::ChangeSize(std::size_t index, std::string_view text) {
    int width = 0;
    int height = 0;
    if (!ParseSize(text, width, height) || !InRange(width, height))
        return false;
    StCritical lock(m_lock);
    if (index >= m_entries.size() ||
        FindLocked(width, height, static_cast<std::ptrdiff_t>(index)) >= 0)
        return false;
    Entry& entry = m_entries[index];
    entry = entry.Active() ? Entry{width, height} : Entry{-width, -height};
    return true;
}

bool CSetDimList::SetActive(std::size_t index, bool active) {
    StCritical lock(m_lock);
    if (index >= m_entries.size())
        return false;
    Entry& entry = m_entries[index];
    if (entry.Active() != active) {
        entry.width = -entry.width;
        entry.height = -entry.height;
    }
    return true;
}

bool CSetDimList::Remove(std::size_t index) {
    StCritical lock(m_lock);
    if (index >= m_entries.size())
        return false;
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

void CSetDimList::Clear() {
    StCritical lock(m_lock);
    m_entries.clear();
}
