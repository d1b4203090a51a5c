// Filter list sections come from settings files and the list editor: any
// lines must load into every kind of list. The lines a list writes back must
// load again to a list that writes the very same lines; every line is then
// asked of the list as what its lookups take.
#include "settings/CSetCookieList.h"
#include "settings/CSetDimList.h"
#include "settings/CSetGroupList.h"
#include "settings/CSetMediaTypes.h"
#include "settings/CSetURLList.h"
#include "settings/CSetWhiteList.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <type_traits>

namespace {

template <class List> List RoundTrip(const CSet::Lines& lines) {
    List first;
    first.SetLines(0, lines, false);
    CSet::Lines written;
    first.GetLines(0, written);
    List second;
    second.SetLines(0, written, false);
    CSet::Lines again;
    second.GetLines(0, again);
    // The group list keeps its entries and writes none back (they live in
    // the start file): its second list is empty.
    const bool writesBack = !std::is_same_v<List, CSetGroupList>;
    if (again != written || (writesBack && second.Count() != first.Count()))
        std::abort();
    return first;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CSet::Lines lines;
    for (std::size_t start = 0; start <= text.size();) {
        const auto end = std::min(text.find('\n', start), text.size());
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    const CSetURLList urls = RoundTrip<CSetURLList>(lines);
    const CSetCookieList cookies = RoundTrip<CSetCookieList>(lines);
    RoundTrip<CSetDimList>(lines);
    const CSetWhiteList white = RoundTrip<CSetWhiteList>(lines);
    const CSetMediaTypes media = RoundTrip<CSetMediaTypes>(lines);
    const CSetGroupList groups = RoundTrip<CSetGroupList>(lines);
    for (const CIString& line : lines) {
        const std::string_view probe = line.View();
        urls.Match(probe);
        urls.MatchHost(probe);
        cookies.Lookup(probe);
        white.Lookup(probe);
        media.MatchType(probe);
        media.MatchExtension(probe);
        groups.Lookup(probe);
    }
    return 0;
}
