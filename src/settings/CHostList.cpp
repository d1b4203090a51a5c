#include "settings/CHostList.h"

#include "os/CCriticalSection.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <dirent.h>
#include <limits>
#include <sys/stat.h>

namespace {

// A line longer than this is no host rule of any of the forms.
constexpr std::size_t kMaxLineLength = 4096;

std::uint64_t HashOf(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ULL; // FNV-1a
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The next blank-separated word of text, taken off its front.
std::string_view NextWord(std::string_view& text) {
    text = Trim(text);
    std::size_t end = 0;
    while (end < text.size() && !IsBlank(text[end]))
        ++end;
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

// The address field of a hosts file: an IPv4 or IPv6 address.
bool IsAddress(std::string_view word) {
    if (word.empty())
        return false;
    const bool v6 = word.find(':') != std::string_view::npos;
    return std::all_of(word.begin(), word.end(), [v6](char c) {
        return (c >= '0' && c <= '9') || c == '.' ||
               (v6 && (c == ':' || (Lower(c) >= 'a' && Lower(c) <= 'f')));
    });
}

// The names a hosts file gives the machine itself; blocking them would
// refuse the proxy's own neighbourhood.
bool IsLocalName(std::string_view host) {
    static constexpr std::array<std::string_view, 3> kLocal = {"localhost.localdomain",
                                                               "local.host", "localhost.local"};
    return std::find(kLocal.begin(), kLocal.end(), host) != kLocal.end();
}

// A host name of at least two labels of letters, digits, '-' and '_', not an
// IPv4 address, in lower case. Empty when text is none.
std::string HostName(std::string_view text) {
    if (!text.empty() && text.back() == '.')
        text.remove_suffix(1);
    if (text.empty() || text.size() > CHostList::kMaxHostLength)
        return {};
    std::string host;
    host.reserve(text.size());
    std::size_t labelLength = 0;
    bool dot = false;
    bool allDigits = true;
    for (const char c : text) {
        if (c == '.') {
            if (labelLength == 0)
                return {};
            labelLength = 0;
            dot = true;
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_' ||
                   (c >= '0' && c <= '9')) {
            if (++labelLength > 63)
                return {};
            allDigits = allDigits && c >= '0' && c <= '9';
        } else {
            return {};
        }
        host += Lower(c);
    }
    if (!dot || labelLength == 0 || allDigits || IsLocalName(host))
        return {};
    return host;
}

// Lines of a file, to size the entries before they are read.
std::size_t CountLines(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return 0;
    std::array<char, 64 * 1024> block;
    std::size_t lines = 0;
    for (std::size_t n; (n = std::fread(block.data(), 1, block.size(), file)) > 0;)
        lines += static_cast<std::size_t>(std::count(block.data(), block.data() + n, '\n'));
    std::fclose(file);
    return lines + 1;
}

} // namespace

std::uint16_t CHostList::NewList(std::string_view listName) {
    // Past 65,535 lists the last name stands for the rest.
    if (m_lists.size() <= std::numeric_limits<std::uint16_t>::max())
        m_lists.emplace_back(listName);
    return static_cast<std::uint16_t>(m_lists.size() - 1);
}

void CHostList::AddText(std::string_view text, std::string_view listName) {
    const std::uint16_t list = NewList(listName);
    while (!text.empty()) {
        const auto newline = text.find('\n');
        AddLine(text.substr(0, newline), list);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    }
}

bool CHostList::AddFile(const std::string& path, std::string_view listName) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    const std::uint16_t list = NewList(listName);
    // Read in blocks, never whole: a list of a million hosts would otherwise
    // be held twice while it is read.
    std::array<char, 64 * 1024> block;
    std::string line;
    bool overlong = false; // the line has passed the bound: its rest is dropped
    const auto endLine = [&] {
        if (overlong)
            ++m_counts.skipped;
        else if (!line.empty())
            AddLine(line, list);
        line.clear();
        overlong = false;
    };
    std::size_t n = 0;
    while ((n = std::fread(block.data(), 1, block.size(), file)) > 0) {
        std::string_view rest(block.data(), n);
        for (auto newline = rest.find('\n'); newline != std::string_view::npos;
             newline = rest.find('\n')) {
            if (line.empty() && !overlong)
                AddLine(rest.substr(0, newline), list);
            else {
                line.append(rest.substr(0, std::min(newline, kMaxLineLength + 1)));
                endLine();
            }
            rest.remove_prefix(newline + 1);
        }
        if (!overlong) {
            line.append(rest);
            if (line.size() > kMaxLineLength) {
                overlong = true;
                line.clear();
            }
        }
    }
    endLine();
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

void CHostList::AddLine(std::string_view line, std::uint16_t list) {
    if (line.size() > kMaxLineLength) {
        ++m_counts.skipped;
        return;
    }
    line = Trim(line);
    if (line.empty() || line.front() == '#' || line.front() == '!')
        return;

    // Ad-block host rules: "||host^", "@@||host^". Anything with a path,
    // options or wildcards is a rule about URLs, not hosts.
    const bool exception = line.starts_with("@@");
    if (exception)
        line.remove_prefix(2);
    if (line.starts_with("||")) {
        std::string host;
        if (line.size() > 3 && line.back() == '^')
            host = HostName(line.substr(2, line.size() - 3));
        if (host.empty())
            ++m_counts.skipped;
        else
            AddHost(host, exception, list);
        return;
    }
    if (exception) {
        ++m_counts.skipped;
        return;
    }

    // A hosts file line: an address and one or more names, perhaps a comment.
    // A domain list line: the name alone.
    std::string_view rest = line;
    std::string_view word = NextWord(rest);
    if (!IsAddress(word)) {
        const std::string host = HostName(word);
        const std::string_view after = Trim(rest);
        if (host.empty() || (!after.empty() && after.front() != '#'))
            ++m_counts.skipped;
        else
            AddHost(host, false, list);
        return;
    }
    for (word = NextWord(rest); !word.empty() && word.front() != '#'; word = NextWord(rest)) {
        const std::string host = HostName(word);
        if (!host.empty())
            AddHost(host, false, list);
        else if (word.find('.') != std::string_view::npos)
            ++m_counts.skipped; // names without a dot are the machine's own
    }
}

void CHostList::AddHost(std::string_view host, bool exception, std::uint16_t list) {
    constexpr std::size_t kBlockSize = std::size_t{1} << kBlockBits;
    if (m_blockUsed + host.size() > kBlockSize) {
        if (m_arena.size() >= (std::size_t{1} << (32 - kBlockBits))) {
            ++m_counts.skipped; // 4 GB of host names
            return;
        }
        m_arena.emplace_back(new char[kBlockSize]); // written before it is read
        m_blockUsed = 0;
    }
    std::copy(host.begin(), host.end(), m_arena.back().get() + m_blockUsed);
    const auto offset =
        static_cast<std::uint32_t>((m_arena.size() - 1) << kBlockBits | m_blockUsed);
    m_blockUsed += host.size();
    m_entries.push_back(
        Entry{HashOf(host), offset, static_cast<std::uint8_t>(host.size()), exception, list});
    ++(exception ? m_counts.exceptions : m_counts.blocks);
}

void CHostList::Finish() {
    const auto text = [this](const Entry& e) { return Text(e); };
    // Equal hosts sort together, the first list's entry first, so that the
    // duplicate kept is the one a reader of the lists would expect.
    std::stable_sort(m_entries.begin(), m_entries.end(), [&](const Entry& a, const Entry& b) {
        if (a.hash != b.hash)
            return a.hash < b.hash;
        if (a.exception != b.exception)
            return a.exception < b.exception;
        return text(a) < text(b);
    });
    m_entries.erase(std::unique(m_entries.begin(), m_entries.end(),
                                [&](const Entry& a, const Entry& b) {
                                    return a.hash == b.hash && a.exception == b.exception &&
                                           text(a) == text(b);
                                }),
                    m_entries.end());
    // A copy only pays when much is spare: it holds the entries twice meanwhile.
    if (m_entries.capacity() > m_entries.size() + m_entries.size() / 4)
        m_entries.shrink_to_fit();

    if (m_entries.empty())
        return;
    std::size_t size = 16;
    while (size < 2 * m_entries.size())
        size *= 2;
    m_slots.assign(size, 0);
    const std::size_t mask = size - 1;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (i > 0 && m_entries[i - 1].hash == m_entries[i].hash)
            continue;
        std::size_t slot = m_entries[i].hash & mask;
        while (m_slots[slot] != 0)
            slot = (slot + 1) & mask;
        m_slots[slot] = static_cast<std::uint32_t>(i + 1);
    }
}

std::string_view CHostList::Text(const Entry& entry) const {
    const std::size_t position = entry.offset & ((std::uint32_t{1} << kBlockBits) - 1);
    return {m_arena[entry.offset >> kBlockBits].get() + position, entry.length};
}

std::pair<const CHostList::Entry*, const CHostList::Entry*>
CHostList::Find(std::string_view host) const {
    if (m_slots.empty())
        return {nullptr, nullptr};
    const std::uint64_t hash = HashOf(host);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = hash & mask; m_slots[slot] != 0; slot = (slot + 1) & mask) {
        const Entry* first = &m_entries[m_slots[slot] - 1];
        if (first->hash != hash)
            continue;
        const Entry* last = first;
        const Entry* const end = m_entries.data() + m_entries.size();
        while (last != end && last->hash == hash)
            ++last;
        return {first, last};
    }
    return {nullptr, nullptr};
}

bool CHostList::Blocks(std::string_view host, Hit* hit) const {
    if (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    if (m_entries.empty() || host.empty() || host.size() > kMaxHostLength)
        return false;
    std::array<char, kMaxHostLength> buffer;
    std::transform(host.begin(), host.end(), buffer.begin(), Lower);
    const std::string_view name(buffer.data(), host.size());

    // The host itself, then every suffix that starts a label: an exception
    // anywhere wins, and the deepest block entry is the one reported.
    const Entry* block = nullptr;
    for (std::size_t start = 0; start < name.size();) {
        const std::string_view suffix = name.substr(start);
        const auto [first, last] = Find(suffix);
        for (const Entry* e = first; e != last; ++e) {
            if (Text(*e) != suffix)
                continue;
            if (e->exception)
                return false;
            if (block == nullptr)
                block = e;
        }
        const auto dot = suffix.find('.');
        if (dot == std::string_view::npos)
            break;
        start += dot + 1;
    }
    if (block == nullptr)
        return false;
    if (hit != nullptr)
        *hit = Hit{Text(*block), m_lists[block->list]};
    return true;
}

std::size_t CHostList::MemoryBytes() const {
    std::size_t lists = 0;
    for (const auto& name : m_lists)
        lists += name.capacity();
    return (m_arena.size() << kBlockBits) + m_entries.capacity() * sizeof(Entry) +
           m_slots.capacity() * sizeof(std::uint32_t) + lists;
}

std::shared_ptr<const CHostList> CHostList::LoadDirectory(const std::string& directory) {
    auto list = std::make_shared<CHostList>();
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name(entry->d_name);
            if (name.size() > 4 && name.ends_with(".txt") && name.front() != '.')
                names.emplace_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    // A line holds one host, nearly always: counting the lines first sizes
    // the entries once instead of growing them by copies.
    std::size_t lines = 0;
    for (const auto& name : names)
        lines += CountLines(directory + name);
    list->Reserve(lines);
    for (const auto& name : names) {
        const std::string path = directory + name;
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            list->AddFile(path, name);
    }
    list->Finish();
    return list;
}

namespace {
CCriticalSection g_currentLock;
std::shared_ptr<const CHostList> g_current;
} // namespace

std::shared_ptr<const CHostList> CHostList::Current() {
    StCritical lock(g_currentLock);
    return g_current;
}

void CHostList::Install(std::shared_ptr<const CHostList> list) {
    StCritical lock(g_currentLock);
    g_current.swap(list);
    // The list replaced is freed outside the lock, by whoever holds it last.
}
