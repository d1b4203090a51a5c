#include "text/PercentEscape.h"

#include <gtest/gtest.h>

TEST(PercentEscape, OnlyBytesOutsidePrintableASCII) {
    const std::pair<std::string_view, const char*> cases[] = {
        {"/a b", "/a%20b"},
        {std::string_view("\0\t\r\n", 4), "%00%09%0D%0A"},
        {"\x7f\x80\xff", "%7F%80%FF"},
        {"!~%41", "!~%41"}, // an escape already there stays as written
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(PercentEscape(in).Str(), out);
}
