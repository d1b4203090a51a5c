#pragma once

#include "os/CCriticalSection.h"
#include "settings/CSet.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Banner sizes. Line form `width,height` (or `width x height`), `//` in front
// for an inactive entry; an inactive entry is stored with both numbers negated.
class CSetDimList : public CSet {
public:
    struct Entry {
        std::int32_t width = 0;
        std::int32_t height = 0;
        bool Active() const noexcept { return width > 0; }
    };

    CSetDimList() = default;
    CSetDimList(const CSetDimList& other);
    CSetDimList& operator=(const CSetDimList& other);

    void GetLines(int sub, Lines& lines) const override;
    void SetLines(int sub, const Lines& lines, bool append) override;
    void LoadBuiltIn(int sub, const char* const* table, bool encoded) override;
    bool IsList() const override { return true; }

    // True when an active entry has exactly this size.
    bool Contains(int width, int height) const;

    // Adds one list line; false when refused (unreadable, out of 1..32767, or
    // the size is listed already, active or not).
    bool AddLine(std::string_view line);

    std::size_t Count() const;
    // The entry as stored (negated when inactive).
    bool GetEntry(std::size_t index, Entry& entry) const;
    // Changes the size of entry index to the size in text (`w,h` or `w x h`),
    // keeping its active state; refused when it does not parse, is out of range
    // or another entry has that size.
    bool ChangeSize(std::size_t index, std::string_view text);
    bool SetActive(std::size_t index, bool active);
    bool Remove(std::size_t index);
    void Clear();

    // Reads `w,h` or `w x h` (blanks around x optional); false when it gives no
    // two numbers.
    static bool ParseSize(std::string_view text, int& width, int& height);

private:
    std::ptrdiff_t FindLocked(int width, int height, std::ptrdiff_t except) const;

    mutable CCriticalSection m_lock;
    std::vector<Entry> m_entries;
};
