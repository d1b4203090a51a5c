#include "settings/BuiltInLists.h"

#include "settings/BuiltInScramble.h"
#include "settings/CSetCookieList.h"
#include "settings/CSetURLList.h"

#include <mutex>

namespace builtin {

const char* const kDimensionTable[] = {
    "60,52",  "80,340", "88,31",   "100,70",  "120,60",  "120,90",  "120,240", "120,600",
    "125,44", "125,90", "125,125", "130,40",  "130,80",  "137,60",  "140,40",  "150,74",
    "155,40", "156,60", "160,600", "175,45",  "180,60",  "180,150", "196,46",  "200,42",
    "200,50", "220,40", "230,33",  "234,60",  "240,160", "240,400", "250,50",  "250,250",
    "275,80", "300,60", "300,130", "300,250", "336,280", "357,40",  "370,50",  "392,72",
    "400,40", "400,50", "400,60",  "400,62",  "400,64",  "400,68",  "420,80",  "432,50",
    "450,75", "460,60", "460,55",  "466,54",  "468,55",  "468,60",  "468,64",  "468,68",
    "468,70", "472,64", "486,60",  "554,90",  nullptr,
};

const char* const kURLExampleTable[] = {
    "! \texample/beis?iel",
    nullptr,
};

const char* const kCookieExampleTable[] = {
    "example.com,0",
    nullptr,
};

bool Unscramble(std::string_view entry, std::string& text) {
    return scramble::Decode(entry, text);
}

std::string Scramble(std::string_view text) {
    std::string coded;
    if (!scramble::Encode(text, coded))
        coded.clear();
    return coded;
}

namespace {

struct ProcessLists {
    CSetURLList urls;
    CSetCookieList cookies;
    ProcessLists() {
        urls.LoadBuiltIn(-1, kAdURLTable, true);
        cookies.LoadBuiltIn(-1, kAdURLTable, true);
    }
};

const ProcessLists& Lists() {
    // A function-local static is initialised exactly once, and other threads
    // wait for the first one to finish filling it.
    static const ProcessLists lists;
    return lists;
}

} // namespace

const CSetURLList& URLDomainList() {
    return Lists().urls;
}
const CSetCookieList& CookieDomainList() {
    return Lists().cookies;
}

} // namespace builtin
