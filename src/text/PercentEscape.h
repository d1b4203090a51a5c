#pragma once

#include "text/CIString.h"

#include <string_view>

// URLs and the URL patterns of the lists are compared in one form: every byte
// outside the printable ASCII range (33 to 126) written as %HH with capital
// hexadecimal digits. A blank or a byte above 126 in a requested URL and the
// same byte typed into a list entry therefore meet as the same text.
CIString PercentEscape(std::string_view text);

// The value of a hexadecimal digit of either case; -1 for any other byte.
int HexDigitValue(char c);

// Every %HH that stands for a letter, a digit or one of "-._~" replaced by
// that character: escaped or not, they name the same resource. Other escapes
// stay as written.
CIString DecodeUnreserved(std::string_view text);
