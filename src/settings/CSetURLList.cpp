#include "settings/CSetURLList.h"

#include "text/PercentEscape.h"

#include <string>
#include <utility>

CIString CSetURLList::NormalisePattern(std::string_view pattern) {
    CIString text = PercentEscape(pattern);
    for (;;) {
        if (text.StartsWith("//"))
            text.erase(0, 2);
        else if (text.StartsWith("!"))
            text.erase(0, 1);
        else
            break;
    }
    return text;
}

std::ptrdiff_t CSetURLList::FindLocked(const CIString& pattern, std::ptrdiff_t except) const {
    return CSetEntryList::FindLocked(
        [&pattern](const Entry& entry) { return entry.pattern.Text() == pattern; }, except);
}

bool CSetURLList::AddEntryLocked(CIString pattern, bool active, bool dontFilter, bool builtIn) {
    if (FindLocked(pattern, -1) >= 0)
        return false;
    Entry entry;
    entry.active = active;
    entry.dontFilter = dontFilter;
    entry.builtIn = builtIn;
    // A pattern that does not compile stays listed (and is written back); it
    // simply matches nothing.
    entry.pattern.SetPattern(pattern.c_str());
    entry.PreparePairs();
    m_entries.push_back(std::move(entry));
    return true;
}

bool CSetURLList::AddLineLocked(std::string_view line) {
    const LineFlags flags = TakeLineFlags(line);
    return AddEntryLocked(NormalisePattern(line), flags.active, flags.dontFilter, flags.builtIn);
}

void CSetURLList::GetLines(int, Lines& lines) const {
    StCritical lock(m_lock);
    for (const Entry& entry : m_entries) {
        CIString line = LineFlagsText(entry.active, entry.dontFilter);
        line += entry.pattern.GetPattern();
        lines.push_back(std::move(line));
    }
}

void CSetURLList::LoadBuiltIn(int, const char* const* table, bool encoded) {
    LoadTable(table, encoded);
}

int CSetURLList::Match(std::string_view url) const {
    CIString encoded(url);
    CRegEx::Encode(encoded);
    return MatchEncoded(encoded);
}

int CSetURLList::MatchEncoded(const CIString& encodedUrl) const {
    CRegEx::TextPairs pairs;
    pairs.Fill(encodedUrl.c_str(), encodedUrl.size());
    StCritical lock(m_lock);
    std::size_t length = 0;
    for (const Entry& entry : m_entries) {
        if (!entry.active)
            continue;
        bool possible = true;
        for (std::uint8_t i = 0; i < entry.pairCount && possible; ++i)
            possible = pairs.Has(entry.pairs[i]);
        if (!possible)
            continue;
        if (entry.pattern.Match(encodedUrl.c_str(), encodedUrl.size(), length))
            return entry.dontFilter ? 2 : 1;
    }
    return 0;
}

bool CSetURLList::Add(std::string_view pattern, bool active, bool dontFilter, bool builtIn) {
    StCritical lock(m_lock);
    return AddEntryLocked(NormalisePattern(pattern), active, dontFilter, builtIn);
}

bool CSetURLList::GetEntry(std::size_t index, EntryInfo& info) const {
    return ReadEntry(index, [&info](const Entry& entry) {
        info.pattern = entry.pattern.GetPattern();
        info.active = entry.active;
        info.dontFilter = entry.dontFilter;
        info.builtIn = entry.builtIn;
    });
}

bool CSetURLList::ChangePattern(std::size_t index, std::string_view pattern) {
    const CIString text = NormalisePattern(pattern);
    return EditEntry(index, [&](Entry& entry) {
        if (FindLocked(text, static_cast<std::ptrdiff_t>(index)) >= 0)
            return false;
        entry.pattern.SetPattern(text.c_str());
        entry.PreparePairs();
        return true;
    });
}
