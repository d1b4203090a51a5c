#include "settings/CSetMediaTypes.h"

#include <algorithm>
#include <utility>

namespace {

bool IsWord(const CIString& text) {
    return std::ranges::none_of(text.View(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= ' ' || byte == 0x7f;
    });
}

} // namespace

bool CSetMediaTypes::AddLineLocked(std::string_view line) {
    const LineFlags flags = TakeLineFlags(line);
    Entry entry;
    entry.active = flags.active;
    entry.dontFilter = flags.dontFilter;
    const auto semicolon = line.find(';');
    entry.type = CIString(line.substr(0, semicolon));
    entry.type.Trim();
    if (semicolon != std::string_view::npos) {
        std::string_view extension = line.substr(semicolon + 1);
        if (extension.starts_with("."))
            extension.remove_prefix(1);
        entry.extension = CIString(extension);
        entry.extension.Trim();
    }
    // Media types and extensions are single words, and none with a blank or
    // control character in it can ever match; nor does a type start with the
    // flag characters. Such lines would be written back as other entries: a
    // TAB third reads as a built-in prefix, a type "//x" as an inactive "x".
    if (!IsWord(entry.type) || !IsWord(entry.extension) || entry.type.StartsWith("/") ||
        entry.type.StartsWith("!"))
        return false;
    // Ordered by type; a new entry goes after those of an equal type.
    const auto at =
        std::upper_bound(m_entries.begin(), m_entries.end(), entry,
                         [](const Entry& a, const Entry& b) { return a.type < b.type; });
    m_entries.insert(at, std::move(entry));
    return true;
}

void CSetMediaTypes::GetLines(int, Lines& lines) const {
    StCritical lock(m_lock);
    for (const Entry& entry : m_entries) {
        CIString line = LineFlagsText(entry.active, entry.dontFilter);
        line += entry.type;
        if (!entry.extension.empty()) {
            line += ';';
            // Reading takes one point off the front: an extension that kept
            // one ("; .swf" reads as ".swf") needs it written twice to come
            // back the same.
            if (entry.extension.View().starts_with('.'))
                line += '.';
            line += entry.extension;
        }
        lines.push_back(std::move(line));
    }
}

int CSetMediaTypes::MatchType(std::string_view mediaType) const {
    const ci_string_view wanted(mediaType.data(), mediaType.size());
    StCritical lock(m_lock);
    auto decide = [this](ci_string_view type, bool& listed) {
        listed = false;
        for (const Entry& entry : m_entries) {
            if (entry.type != type)
                continue;
            listed = true;
            if (entry.active)
                return entry.dontFilter ? 2 : 1;
        }
        return 0;
    };
    bool listed = false;
    const int verdict = decide(wanted, listed);
    if (listed)
        return verdict;
    // A main type alone covers all its subtypes.
    if (const auto slash = wanted.find('/'); slash != ci_string_view::npos)
        return decide(wanted.substr(0, slash), listed);
    return 0;
}

int CSetMediaTypes::MatchExtension(std::string_view extension) const {
    // Entries without an extension must not claim URLs that have none.
    if (extension.empty())
        return 0;
    const ci_string_view wanted(extension.data(), extension.size());
    StCritical lock(m_lock);
    for (const Entry& entry : m_entries)
        if (entry.active && entry.extension == wanted)
            return entry.dontFilter ? 2 : 1;
    return 0;
}
