#include "settings/CSetURLList.h"

#include "text/PercentEscape.h"

#include <algorithm>
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

namespace {

// A pattern without a path: after an anchor and a scheme, only host
// characters and wildcards, perhaps a closing "/" or "/*".
bool NamesWholeHost(ci_string_view pattern) {
    if (pattern.starts_with("~"))
        pattern.remove_prefix(1);
    if (pattern.starts_with("http://"))
        pattern.remove_prefix(7);
    else if (pattern.starts_with("https://"))
        pattern.remove_prefix(8);
    if (pattern.ends_with("/*"))
        pattern.remove_suffix(2);
    else if (pattern.ends_with("/"))
        pattern.remove_suffix(1);
    if (pattern.find('.') == ci_string_view::npos)
        return false;
    for (const char c : pattern) {
        const bool hostChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                              (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!hostChar && c != '*' && c != '?')
            return false;
    }
    return true;
}

} // namespace

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
    entry.namesHost = NamesWholeHost(entry.pattern.Text());
    m_entries.push_back(std::move(entry));
    m_state.stale = true;
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

namespace {

// The pairs that ordinary URLs are made of. An entry filed under one of them
// would be tried for nearly every URL, so they are the last choice of key.
const CRegEx::TextPairs& CommonPairs() {
    static const CRegEx::TextPairs pairs = [] {
        CIString sample("http://www.example.com/index.html?id=1&page=2&lang=en "
                        "https://static.cdn.net/images/2024/01/the-article-title.jpg "
                        "http://127.0.0.1:8080/section/news-story.php?utm_source=feed "
                        "https://media.site.org/content/uploads/video/player.js?v=3");
        CRegEx::Encode(sample);
        CRegEx::TextPairs filled;
        filled.Fill(sample.c_str(), sample.size());
        return filled;
    }();
    return pairs;
}

} // namespace

void CSetURLListEntry::PreparePairs() {
    std::array<std::uint16_t, 64> all{};
    const std::size_t count = pattern.RequiredPairs(all.data(), all.size());
    std::stable_partition(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(count),
                          [](std::uint16_t pair) { return !CommonPairs().Has(pair); });
    pairCount = static_cast<std::uint8_t>(std::min(count, pairs.size()));
    std::copy_n(all.begin(), pairCount, pairs.begin());
}

void CSetURLList::RebuildIndexLocked() const {
    constexpr std::size_t kPairs = CRegEx::kAlphabetSize * CRegEx::kAlphabetSize;
    const CSetURLListIndex& index = m_state;
    // Each entry goes under the pair that the fewest entries require.
    std::vector<std::uint32_t> required(kPairs, 0);
    for (const Entry& entry : m_entries)
        for (std::uint8_t i = 0; i < entry.pairCount; ++i)
            ++required[entry.pairs[i]];
    std::vector<std::uint16_t> chosen(m_entries.size(), 0);
    std::vector<std::uint32_t> sizes(kPairs + 1, 0);
    index.unfiltered.clear();
    for (std::size_t e = 0; e < m_entries.size(); ++e) {
        const Entry& entry = m_entries[e];
        if (!entry.active)
            continue;
        if (entry.pairCount == 0) {
            index.unfiltered.push_back(static_cast<std::uint32_t>(e));
            continue;
        }
        const auto score = [&](std::uint16_t pair) {
            return required[pair] + (CommonPairs().Has(pair) ? 1u << 20 : 0u);
        };
        std::uint16_t best = entry.pairs[0];
        for (std::uint8_t i = 1; i < entry.pairCount; ++i)
            if (score(entry.pairs[i]) < score(best))
                best = entry.pairs[i];
        chosen[e] = best;
        ++sizes[best + 1];
    }
    index.bucketStart.assign(kPairs + 1, 0);
    for (std::size_t p = 0; p < kPairs; ++p)
        index.bucketStart[p + 1] = index.bucketStart[p] + sizes[p + 1];
    index.bucketed.assign(index.bucketStart[kPairs], {});
    std::vector<std::uint32_t> fill(index.bucketStart.begin(), index.bucketStart.end() - 1);
    for (std::size_t e = 0; e < m_entries.size(); ++e) {
        const Entry& entry = m_entries[e];
        if (entry.active && entry.pairCount != 0)
            index.bucketed[fill[chosen[e]]++] = {static_cast<std::uint32_t>(e), entry.pairCount,
                                                 entry.pairs};
    }
    index.stale = false;
}

int CSetURLList::MatchEncoded(const CIString& encodedUrl) const {
    CRegEx::TextPairs pairs;
    pairs.Fill(encodedUrl.c_str(), encodedUrl.size());
    // Every washed link asks the lists, from every connection at once: they
    // read side by side, and only the first lookup after an edit rebuilds the
    // index alone.
    {
        StShared lock(m_lock);
        if (!m_state.stale)
            return MatchIndexedLocked(encodedUrl, pairs);
    }
    StCritical lock(m_lock);
    if (m_state.stale)
        RebuildIndexLocked();
    return MatchIndexedLocked(encodedUrl, pairs);
}

int CSetURLList::MatchIndexedLocked(const CIString& encodedUrl,
                                    const CRegEx::TextPairs& pairs) const {
    // The entries that could match, tried in list order: the first that
    // matches decides.
    // Reused by the thread, so that a lookup allocates nothing.
    thread_local std::vector<std::uint32_t> candidates;
    candidates.assign(m_state.unfiltered.begin(), m_state.unfiltered.end());
    pairs.ForEach([&](std::uint16_t pair) {
        for (std::uint32_t i = m_state.bucketStart[pair]; i < m_state.bucketStart[pair + 1]; ++i) {
            const CSetURLListIndex::Filed& filed = m_state.bucketed[i];
            bool possible = true;
            for (std::uint16_t k = 0; k < filed.pairCount && possible; ++k)
                possible = pairs.Has(filed.pairs[k]);
            if (possible)
                candidates.push_back(filed.entry);
        }
    });
    std::sort(candidates.begin(), candidates.end());
    std::size_t length = 0;
    for (const std::uint32_t e : candidates) {
        const Entry& entry = m_entries[e];
        if (entry.pattern.Match(encodedUrl.c_str(), encodedUrl.size(), length))
            return entry.dontFilter ? 2 : 1;
    }
    return 0;
}

int CSetURLList::MatchHost(std::string_view host, CIString* entryText) const {
    constexpr std::size_t kSchemeLength = 7; // "http://"
    for (std::size_t start = 0; start < host.size();) {
        const std::string_view suffix = host.substr(start);
        const std::string url = "http://" + std::string(suffix) + "/";
        CIString encoded(url);
        CRegEx::Encode(encoded);
        CRegEx::TextPairs pairs;
        pairs.Fill(encoded.c_str(), encoded.size());
        {
            StShared lock(m_lock);
            for (const Entry& entry : m_entries) {
                if (!entry.active || !entry.namesHost)
                    continue;
                bool possible = true;
                for (std::uint8_t i = 0; i < entry.pairCount && possible; ++i)
                    possible = pairs.Has(entry.pairs[i]);
                std::size_t length = 0;
                const char* at = possible
                                     ? entry.pattern.Match(encoded.c_str(), encoded.size(), length)
                                     : nullptr;
                if (at == nullptr || length == 0)
                    continue;
                const auto begin = static_cast<std::size_t>(at - encoded.c_str());
                const std::size_t end = begin + length;
                const bool startsLabel = begin == 0 || begin == kSchemeLength;
                const bool endsLabel = end >= url.size() - 1 || url[end] == '.' ||
                                       url[end - 1] == '.' || url[end - 1] == '/';
                if (!startsLabel || !endsLabel)
                    continue;
                if (entryText != nullptr)
                    *entryText = entry.pattern.GetPattern();
                return entry.dontFilter ? 2 : 1;
            }
        }
        const auto dot = suffix.find('.');
        if (dot == std::string_view::npos)
            break;
        start += dot + 1;
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
        entry.namesHost = NamesWholeHost(entry.pattern.Text());
        return true;
    });
}
