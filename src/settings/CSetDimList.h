#pragma once

#include "settings/CSetEntryList.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// One banner size of a dimension list (CSetDimList::Entry).
struct CSetDimListEntry {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool Active() const noexcept { return width > 0; }
};

// Banner sizes. Line form `width,height` (or `width x height`), `//` in front
// for an inactive entry; an inactive entry is stored with both numbers negated.
//
// AddLine refuses a line that is unreadable, out of 1..32767, or whose size is
// listed already, active or not. GetEntry gives the entry as stored (negated
// when inactive).
class CSetDimList : public CSetEntryList<CSetDimListEntry> {
public:
    using Entry = CSetDimListEntry;

    void GetLines(int sub, Lines& lines) const override;
    void LoadBuiltIn(int sub, const char* const* table, bool encoded) override;

    // True when an active entry has exactly this size.
    bool Contains(int width, int height) const;

    // Changes the size of entry index to the size in text (`w,h` or `w x h`),
    // keeping its active state; refused when it does not parse, is out of range
    // or another entry has that size.
    bool ChangeSize(std::size_t index, std::string_view text);
    bool SetActive(std::size_t index, bool active);

    // Reads `w,h` or `w x h` (blanks around x optional); false when it gives no
    // two numbers.
    static bool ParseSize(std::string_view text, int& width, int& height);

private:
    bool AddLineLocked(std::string_view line) override;
    std::ptrdiff_t FindLocked(int width, int height, std::ptrdiff_t except) const;
};
