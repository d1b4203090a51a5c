// Host list files come from anywhere on the net: any bytes must load, and
// every host the list took must then be blocked, unless an exception covers it.
#include "settings/CHostList.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CHostList list;
    list.AddText(text, "fuzz.txt");
    list.Finish();
    const CHostList::Counts& counts = list.GetCounts();
    if (list.Size() > counts.blocks + counts.exceptions)
        std::abort();
    // Every line, and every word of it, asked as a host.
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && text[end] != '\n' && text[end] != ' ')
            ++end;
        CHostList::Hit hit;
        if (list.Blocks(text.substr(start, end - start), &hit) &&
            (hit.entry.empty() || hit.list != "fuzz.txt"))
            std::abort();
        start = end + 1;
    }
    return 0;
}
