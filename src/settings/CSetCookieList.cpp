#include "settings/CSetCookieList.h"

#include "settings/BuiltInLists.h"

#include <cstring>
#include <string>
#include <utility>

CSetCookieList::CSetCookieList(const CSetCookieList& other) : CSet(other) {
    StCritical lock(other.m_lock);
    m_entries = other.m_entries;
    m_defaultManner = other.m_defaultManner;
}

CSetCookieList& CSetCookieList::operator=(const CSetCookieList& other) {
    if (this != &other) {
        std::vector<Entry> copy;
        int manner;
        {
            StCritical lock(other.m_lock);
            copy = other.m_entries;
            manner = other.m_defaultManner;
        }
        StCritical lock(m_lock);
        m_entries = std::move(copy);
        m_defaultManner = manner;
    }
    return *this;
}

CIString CSetCookieList::ReduceToHost(std::string_view text) {
    if (const auto scheme = text.find("://"); scheme != std::string_view::npos)
        text.remove_prefix(scheme + 3);
    for (const char stop : {'/', '\\', ':'})
        if (const auto at = text.find(stop); at != std::string_view::npos)
            text = text.substr(0, at);
    static constexpr char kKept[] = "-_.*?[](|)~^";
    CIString host;
    for (char ch : text) {
        if (ch == ',')
            ch = '.';
        const bool alnum =
            (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
        if (alnum || std::strchr(kKept, ch) != nullptr)
            host += ch;
    }
    return host;
}

bool CSetCookieList::ExistsLocked(std::string_view pattern) const {
    const ci_string_view wanted(pattern.data(), pattern.size());
    for (const Entry& entry : m_entries)
        if (entry.pattern.Text() == wanted)
            return true;
    return false;
}

bool CSetCookieList::AddLineLocked(std::string_view line) {
    int manner = kCookieBad;
    if (const auto comma = line.rfind(','); comma != std::string_view::npos &&
                                            comma + 1 < line.size() && line[comma + 1] >= '0' &&
                                            line[comma + 1] <= '2') {
        manner = line[comma + 1] - '0' + 1;
        line = line.substr(0, comma);
    }
    if (ExistsLocked(line))
        return false;
    const CIString host = ReduceToHost(line);
    if (host.empty())
        return false;
    if (host == "*") {
        m_defaultManner = manner;
        return true;
    }
    Entry entry;
    entry.pattern.SetPattern(host.c_str());
    entry.manner = manner;
    m_entries.push_back(std::move(entry));
    return true;
}

void CSetCookieList::GetLines(int, Lines& lines) const {
    StCritical lock(m_lock);
    CIString code;
    for (const Entry& entry : m_entries) {
        CIString line = entry.pattern.GetPattern();
        line += ',';
        line += code.FromInt(entry.manner - 1);
        lines.push_back(std::move(line));
    }
    CIString last("*,");
    last += code.FromInt(m_defaultManner - 1);
    lines.push_back(std::move(last));
}

void CSetCookieList::SetLines(int, const Lines& lines, bool append) {
    StCritical lock(m_lock);
    if (!append)
        m_entries.clear();
    for (const CIString& line : lines)
        AddLineLocked(line.View());
}

void CSetCookieList::LoadBuiltIn(int, const char* const* table, bool encoded) {
    StCritical lock(m_lock);
    m_entries.clear();
    if (!table)
        return;
    std::string text;
    for (; *table; ++table) {
        if (!encoded) {
            AddLineLocked(*table);
            continue;
        }
        // The shared advertising table: only plain, active domain entries say
        // something about cookies.
        if (!builtin::Unscramble(*table, text))
            continue;
        std::string_view entry(text);
        if (entry.size() > 3 && entry[2] == '\t') {
            if (entry[0] == '!' || entry[1] == 'x' || entry[1] == 'X')
                continue;
            entry.remove_prefix(3);
        }
        if (entry.find_first_of("*/\\") != std::string_view::npos)
            continue;
        AddLineLocked(entry);
    }
}

int CSetCookieList::Lookup(std::string_view host) const {
    CIString encoded(host);
    CRegEx::Encode(encoded);
    StCritical lock(m_lock);
    std::size_t length = 0;
    for (const Entry& entry : m_entries)
        if (entry.pattern.Match(encoded.c_str(), encoded.size(), length))
            return entry.manner;
    return 0;
}

int CSetCookieList::DefaultManner() const {
    StCritical lock(m_lock);
    return m_defaultManner;
}

void CSetCookieList::SetDefaultManner(int manner) {
    StCritical lock(m_lock);
    m_defaultManner = manner;
}

bool CSetCookieList::AddLine(std::string_view line) {
    StCritical lock(m_lock);
    return AddLineLocked(line);
}

bool CSetCookieList::Add(std::string_view pattern, int manner) {
    StCritical lock(m_lock);
    if (ExistsLocked(pattern))
        return false;
    Entry entry;
    entry.pattern.SetPattern(std::string(pattern).c_str());
    entry.manner = manner;
    m_entries.push_back(std::move(entry));
    return true;
}

std::size_t CSetCookieList::Count() const {
    StCritical lock(m_lock);
    return m_entries.size();
}

bool CSetCookieList::GetEntry(std::size_t index, EntryInfo& info) const {
    StCritical lock(m_lock);
    if (index >= m_entries.size())
        return false;
    info.pattern = m_entries[index].pattern.GetPattern();
    info.manner = m_entries[index].manner;
    return true;
}

bool CSetCookieList::SetEntry(std::size_t index, std::string_view pattern, int manner) {
    StCritical lock(m_lock);
    if (index >= m_entries.size())
        return false;
    m_entries[index].pattern.SetPattern(std::string(pattern).c_str());
    m_entries[index].manner = manner;
    return true;
}

bool CSetCookieList::SetManner(std::size_t index, int manner) {
    StCritical lock(m_lock);
    if (index >= m_entries.size())
        return false;
    m_entries[index].manner = manner;
    return true;
}

bool CSetCookieList::Remove(std::size_t index) {
    StCritical lock(m_lock);
    if (index >= m_entries.size())
        return false;
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

void CSetCookieList::Clear() {
    StCritical lock(m_lock);
    m_entries.clear();
}
