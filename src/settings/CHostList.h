#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Hosts that serve advertising or track people, as the lists people keep for
// that are written: hosts files ("0.0.0.0 ads.example.net"), plain domain
// lists (one host a line) and the host rules of ad-block lists
// ("||ads.example.net^", "@@||ads.example.net^" for an exception).
//
// An entry covers its host and every host below it; an exception that covers
// a host wins over any block entry. Lists hold up to millions of hosts, so an
// entry is a fixed record into one text arena, found by the hash of its host.
//
// A list is filled (AddText, AddFile), then Finish()ed, and from then on only
// read: the process-wide list is swapped in whole (Install), so a request
// never sees half a list.
class CHostList {
public:
    // What the reading made of the lines: blank lines and comments count nowhere.
    struct Counts {
        std::size_t blocks = 0;
        std::size_t exceptions = 0;
        std::size_t skipped = 0; // rules that name no bare host, unreadable lines
    };
    // The entry that blocks a host and the list it came from.
    struct Hit {
        std::string_view entry;
        std::string_view list;
    };

    // Reads every line of text; listName is what a hit names as its list.
    void AddText(std::string_view text, std::string_view listName);
    // AddText of a file's contents; false when it can't be read.
    bool AddFile(const std::string& path, std::string_view listName);
    // Sorts the entries for lookup; nothing may be added afterwards.
    void Finish();
    // Room for this many entries in all, when the caller knows about how many come.
    void Reserve(std::size_t entries) { m_entries.reserve(entries); }

    // The block entry covering host, unless an exception covers it. Case and a
    // trailing dot do not matter.
    bool Blocks(std::string_view host, Hit* hit = nullptr) const;

    const Counts& GetCounts() const { return m_counts; }
    std::size_t Size() const { return m_entries.size(); }
    // Bytes held by the entries and their texts.
    std::size_t MemoryBytes() const;

    // Every file whose name ends in ".txt" in directory, in name order; a
    // missing directory gives an empty list.
    static std::shared_ptr<const CHostList> LoadDirectory(const std::string& directory);

    // The list requests consult; empty until the first Install.
    static std::shared_ptr<const CHostList> Current();
    static void Install(std::shared_ptr<const CHostList> list);

    // Longest host name the lists take (the limit of DNS names).
    static constexpr std::size_t kMaxHostLength = 253;

private:
    struct Entry {
        std::uint64_t hash;
        std::uint32_t offset; // into the arena: block << kBlockBits | position
        std::uint8_t length;
        bool exception;
        std::uint16_t list; // index into m_lists
    };

    std::uint16_t NewList(std::string_view listName);
    void AddLine(std::string_view line, std::uint16_t list);
    void AddHost(std::string_view host, bool exception, std::uint16_t list);
    // The entries (block and exception) of exactly this host, lower case.
    std::pair<const Entry*, const Entry*> Find(std::string_view host) const;

    std::string_view Text(const Entry& entry) const;

    // The host texts, in blocks that never move: a growing single buffer
    // would be copied, and held twice, at every doubling.
    static constexpr int kBlockBits = 20;
    std::vector<std::unique_ptr<char[]>> m_arena;
    std::size_t m_blockUsed = std::size_t{1} << kBlockBits; // of the last block
    std::vector<Entry> m_entries;                           // sorted by hash
    // Open addressing over the hashes: index + 1 of the first entry of each
    // hash, 0 for a free slot. One probe is one cache miss, where a binary
    // search over a million entries costs twenty.
    std::vector<std::uint32_t> m_slots;
    std::vector<std::string> m_lists;
    Counts m_counts;
};
