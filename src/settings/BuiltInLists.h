#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class CSetURLList;
class CSetCookieList;

// Tables compiled into the program. Every table is a null-terminated array of
// NUL-terminated entries, loaded with CSet::LoadBuiltIn.
namespace builtin {

// The 60 banner sizes "width,height" of a new dimension list (plain).
extern const char* const kDimensionTable[];
// The example entry of a new user URL list (plain, inactive).
extern const char* const kURLExampleTable[];
// An example cookie rule (plain).
extern const char* const kCookieExampleTable[];
// Advertising URL patterns, encoded: two decimal digits of length, then that
// many scrambled bytes. Generated at build time from BuiltInAdURLs.txt.
extern const char* const kAdURLTable[];
extern const std::size_t kAdURLTableSize;

// Turns one encoded table entry back into its text; false when the entry is
// malformed (bad length digits or shorter than told).
bool Unscramble(std::string_view entry, std::string& text);
// The encoded form of text (at most 99 bytes, no NUL); used by the table
// generator and by the tests.
std::string Scramble(std::string_view text);

// The two process-wide lists filled once from kAdURLTable: every entry as URL
// patterns, the plain domain entries as bad-cookie hosts. Thread-safe; the
// first call fills them.
const CSetURLList& URLDomainList();
const CSetCookieList& CookieDomainList();

} // namespace builtin
