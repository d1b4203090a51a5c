#include "settings/CSetCookieList.h"

#include <cstring>
#include <string>
#include <utility>

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
    return FindLocked([wanted](const Entry& entry) { return entry.pattern.Text() == wanted; }) >= 0;
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
    // Two texts may reduce to one host: the second entry could never decide
    // a lookup, and would not survive being written and read back.
    const CIString host = ReduceToHost(line);
    if (host.empty() || (host.View() != line && ExistsLocked(host.View())))
        return false;
    if (host == "*") {
        m_state.defaultManner = manner;
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
    last += code.FromInt(m_state.defaultManner - 1);
    lines.push_back(std::move(last));
}

void CSetCookieList::LoadBuiltIn(int, const char* const* table, bool encoded) {
    LoadTable(table, encoded, [this, encoded](std::string_view entry) {
        if (encoded) {
            // The shared advertising table: only plain, active domain entries
            // say something about cookies.
            if (entry.size() > 3 && entry[2] == '\t') {
                if (entry[0] == '!' || entry[1] == 'x' || entry[1] == 'X')
                    return;
                entry.remove_prefix(3);
            }
            if (entry.find_first_of("*/\\") != std::string_view::npos)
                return;
        }
        AddLineLocked(entry);
    });
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
    return m_state.defaultManner;
}

void CSetCookieList::SetDefaultManner(int manner) {
    StCritical lock(m_lock);
    m_state.defaultManner = manner;
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

bool CSetCookieList::GetEntry(std::size_t index, EntryInfo& info) const {
    return ReadEntry(index, [&info](const Entry& entry) {
        info.pattern = entry.pattern.GetPattern();
        info.manner = entry.manner;
    });
}

bool CSetCookieList::SetEntry(std::size_t index, std::string_view pattern, int manner) {
    const std::string text(pattern);
    return EditEntry(index, [&](Entry& entry) {
        entry.pattern.SetPattern(text.c_str());
        entry.manner = manner;
    });
}

bool CSetCookieList::SetManner(std::size_t index, int manner) {
    return EditEntry(index, [manner](Entry& entry) { entry.manner = manner; });
}
