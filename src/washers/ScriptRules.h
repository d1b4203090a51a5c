#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class CConnInfo;
class CSettings;
class CStatistic;

// What the HTML washer asks of active content: which kind of object a classid
// names, whether a script does something unwanted (pop-ups, location or
// status-bar changes, advertising URLs), and how to take the actions out of a
// script while its declarations stay for the rest of the page to call.
//
// Script text comes straight from a server: every walk here is bounded by the
// text, ends at the text end when braces, quotes or comments never close, and
// is linear in the text length.
namespace washers {

// Kind of an object by its classid: 2 ActiveX ("clsid"), 1 Java ("java:"), else 0.
int ClassIdKind(std::string_view classId);

// The next value of word in text at or after pos; on success value receives
// it and pos moves behind it. A word with a delimiter ('=' when delimiter is
// 0) counts only where the delimiter follows it (blanks between them), and
// its value may be quoted; a word without one is followed by its value at
// once, and an empty value there is passed over. False when there is no
// further value (pos is then left as it was).
bool ExtractValue(std::string_view text, std::string_view word, bool needsDelimiter, char delimiter,
                  std::size_t& pos, std::string& value);

// Rewrites a script's text in place so that it keeps its declarations and does
// nothing: functions keep their heads with empty bodies, variables keep their
// names with the value 0, line comments stay, every other top-level statement
// goes. An HTML comment around the script ("<!--" ... "-->") stays as it is.
// Returns the number of bytes removed, which is exactly by how much the text
// became shorter (the text never grows).
std::size_t NeutraliseScript(std::string& text);

// Whether the script text opens pop-ups, changes the location or the status
// bar, or loads listed URLs; counts FilteredWindows or FilteredScripts in
// statistic (may be null). URLs found in the script are made absolute against
// page before the URL lists judge them.
bool ScriptIsUnwanted(std::string_view text, const CSettings& settings, const CConnInfo& page,
                      CStatistic* statistic);

} // namespace washers
