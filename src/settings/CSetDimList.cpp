#include "settings/CSetDimList.h"

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

bool CSetDimList::ParseSize(std::string_view text, int& width, int& height) {
    const std::string line(text);
    return std::sscanf(line.c_str(), "%d,%d", &width, &height) == 2 ||
           std::sscanf(line.c_str(), "%d x %d", &width, &height) == 2;
}

std::ptrdiff_t CSetDimList::FindLocked(int width, int height, std::ptrdiff_t except) const {
    return CSetEntryList::FindLocked(
        [width, height](const Entry& entry) {
            return std::abs(entry.width) == width && std::abs(entry.height) == height;
        },
        except);
}

bool CSetDimList::AddLineLocked(std::string_view line) {
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

void CSetDimList::LoadBuiltIn(int, const char* const* table, bool encoded) {
    LoadTable(table, encoded);
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

bool CSetDimList::ChangeSize(std::size_t index, std::string_view text) {
    int width = 0;
    int height = 0;
    if (!ParseSize(text, width, height) || !InRange(width, height))
        return false;
    return EditEntry(index, [&](Entry& entry) {
        if (FindLocked(width, height, static_cast<std::ptrdiff_t>(index)) >= 0)
            return false;
        entry = entry.Active() ? Entry{width, height} : Entry{-width, -height};
        return true;
    });
}

bool CSetDimList::SetActive(std::size_t index, bool active) {
    return EditEntry(index, [active](Entry& entry) {
        if (entry.Active() != active) {
            entry.width = -entry.width;
            entry.height = -entry.height;
        }
    });
}
