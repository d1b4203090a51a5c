#include "settings/CSetURLList.h"

#include "settings/BuiltInLists.h"

#include <string>
#include <utility>

CSetURLList::CSetURLList(const CSetURLList& other) : CSet(other) {
    StCritical lock(other.m_lock);
    m_entries = other.m_entries;
}

CSetURLList& CSetURLList::operator=(const CSetURLList& other) {
    if (this != &other) {
        std::vector<Entry> copy;
        {
            StCritical lock(other.m_lock);
            copy = other.m_entries;
        }
        StCritical lock(m_lock);
        m_entries = std::move(copy);
    }
    return *this;
}

CIString CSetURLList::NormalisePattern(std::string_view pattern) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    CIString text;
    text.reserve(pattern.size());
    for (char ch : pattern) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 33 || byte > 126) {
            text += '%';
            text += kHex[byte >> 4];
            text += kHex[byte & 15];
        } else {
            text += ch;
        }
    }
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
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (static_cast<std::ptrdiff_t>(i) != except && m_entries[i].pattern.Text() == pattern)
            return static_cast<std::ptrdiff_t>(i);
    return -1;
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
    m_entries.push_back(std::move(entry));
    return true;
}

bool CSetURLList::AddLocked(std::string_view line) {
    bool active = true;
    bool dontFilter = false;
    bool builtIn = false;
    if (line.size() > 3 && line[2] == '\t') {
        active = line[0] != '!';
        dontFilter = line[1] == 'x' || line[1] == 'X';
        builtIn = line[1] == 'X';
        line.remove_prefix(3);
    } else {
        if (line.starts_with("//")) {
            active = false;
            line.remove_prefix(2);
        }
        if (line.starts_with("!")) {
            dontFilter = true;
            line.remove_prefix(1);
        }
    }
    return AddEntryLocked(NormalisePattern(line), active, dontFilter, builtIn);
}

void CSetURLList::GetLines(int, Lines& lines) const {
    StCritical lock(m_lock);
    for (const Entry& entry : m_entries) {
        CIString line;
        if (!entry.active)
            line += "//";
        if (entry.dontFilter)
            line += "!";
        line += entry.pattern.GetPattern();
        lines.push_back(std::move(line));
    }
}

void CSetURLList::SetLines(int, const Lines& lines, bool append) {
    StCritical lock(m_lock);
    if (!append)
        m_entries.clear();
    for (const CIString& line : lines)
        AddLocked(line.View());
}

void CSetURLList::LoadBuiltIn(int, const char* const* table, bool encoded) {
    StCritical lock(m_lock);
    m_entries.clear();
    if (!table)
        return;
    std::string text;
    for (; *table; ++table) {
        if (!encoded)
            AddLocked(*table);
        else if (builtin::Unscramble(*table, text))
            AddLocked(text);
    }
}

int CSetURLList::Match(std::string_view url) const {
    CIString encoded(url);
    CRegEx::Encode(encoded);
    return MatchEncoded(encoded);
}

int CSetURLList::MatchEncoded(const CIString& encodedUrl) const {
    StCritical lock(m_lock);
    std::size_t length = 0;
    for (const Entry& entry : m_entries) {
        if (!entry.active)
            continue;
        if (entry.pattern.Match(encodedUrl.c_str(), encodedUrl.size(), length))
            return entry.dontFilter ? 2 : 1;
    }
    return 0;
}

bool CSetURLList::AddLine(std::string_view line) {
    StCritical lock(m_lock);
    return AddLocked(line);
}

bool CSetURLList::Add(std::string_view pattern, bool active, bool dontFilter, bool builtIn) {
    StCritical lock(m_lock);
    return AddEntryLocked(NormalisePattern(pattern), active, dontFilter, builtIn);
}

std::size_t CSetURLList::Count() const {
    StCritical lock(m_lock);
    return m_entries.size();
}

bool CSetURLList::GetEntry(std::size_t index, EntryInfo& info) const {
    StCritical lock(m_lock);
    if (index >= m_entries.size())
        return false;
    const Entry& entry = m_entries[index];
    info.pattern = entry.pattern.GetPattern();
    info.active = entry.active;
    info.dontFilter = entry.dontFilter;
    info.builtIn = entry.builtIn;
    return true;
}

bool CSetURLList::ChangePattern(std::size_t index, std::string_view pattern) {
    StCritical lock(m_lock);
    if (index >= m_entries.size())
        return false;
    const CIString text = NormalisePattern(pattern);
    if (FindLocked(text, static_cast<std::ptrdiff_t>(index)) >= 0)
        return false;
    m_entries[index].pattern.SetPattern(text.c_str());
    return true;
}

bool CSetURLList::SetFlags(std::size_t index, bool active, bool dontFilter) {
    StCritical lock(m_lock);
    if (index >= m_entries.size())
        return false;
    m_entries[index].active = active;
    m_entries[index].dontFilter = dontFilter;
    return true;
}

bool CSetURLList::Remove(std::size_t index) {
    StCritical lock(m_lock);
    if (index >= m_entries.size())
        return false;
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

void CSetURLList::Clear() {
    StCritical lock(m_lock);
    m_entries.clear();
}
