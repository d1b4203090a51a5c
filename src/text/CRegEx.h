#pragma once

#include "text/CIString.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// A compiled wildcard pattern: `*`, `?`, `[set]`, `[^set]`, `[a-b]`, groups
// `(p1|p2)rest`, a leading `~` and a trailing `$`, with `\` escaping.
//
// Patterns and texts are reduced to a 64-symbol URL alphabet in which upper- and
// lower-case letters are one symbol, and each fixed stretch of a pattern is
// searched with a Boyer-Moore bad-character table over that alphabet. One
// CRegEx object is one node of a chain: a fixed segment, followed by the rest of
// the pattern as a further node after a wildcard or a group.
//
// A compiled pattern is not changed by Match, so several threads may match the
// same pattern at once; SetPattern needs exclusive access.
class CRegEx {
public:
    // Number of symbols of the URL alphabet; every encoded byte is below it.
    static constexpr int kAlphabetSize = 64;

    CRegEx();
    // Compiles at once, as SetPattern.
    explicit CRegEx(const char* pattern, bool bounded = false, bool anchoredEnd = false);
    CRegEx(const CRegEx& other);
    CRegEx& operator=(const CRegEx& other);
    CRegEx(CRegEx&& other) noexcept;
    CRegEx& operator=(CRegEx&& other) noexcept;
    ~CRegEx();

    // Discards the previous pattern and compiles pattern (NUL-terminated).
    // Returns whether the pattern is valid; an invalid pattern matches nothing.
    bool SetPattern(const char* pattern, bool bounded = false, bool anchoredEnd = false);
    bool IsValid() const noexcept { return m_valid; }

    // Searches encoded text (every byte a symbol code, NUL-terminated at
    // text[length]). Returns the first byte of the match or null; matchLength is
    // set to 0 first and to the length of the match on success.
    const char* Match(const char* text, std::size_t length, std::size_t& matchLength) const;

    // How Match searches: Auto starts plainly and switches to remembering
    // partial results when the plain search runs long. Plain and Remembered
    // force one way; they exist for tests and benchmarks, which check that both
    // give the same results.
    enum class Strategy { Auto, Plain, Remembered };
    const char* Match(const char* text, std::size_t length, std::size_t& matchLength,
                      Strategy strategy) const;
    // Convenience for already encoded text.
    bool Matches(const CIString& encoded) const {
        std::size_t ignored = 0;
        return Match(encoded.c_str(), encoded.size(), ignored) != nullptr;
    }

    // The pattern text as given, letters in lower case.
    CIString GetPattern() const;
    // The pattern text exactly as given (compares without case, as CIString does).
    const CIString& Text() const noexcept { return m_text; }

    // Symbol code of one byte, and the character a code stands for.
    static int Code(unsigned char byte) noexcept;
    static char CodeChar(int code) noexcept;
    // In place: every byte by its code; every code by its character (0 by NUL).
    static void Encode(CIString& text);
    static void DecodeToText(CIString& text);

    // Which pairs of adjacent symbols a text holds: a cheap first test that lets
    // a list skip patterns that cannot match.
    class TextPairs {
    public:
        void Fill(const char* encoded, std::size_t length) noexcept;
        bool Has(std::uint16_t pair) const noexcept {
            return (m_bits[pair >> 6] >> (pair & 63)) & 1u;
        }
        // Calls f with every pair the text holds, in increasing order.
        template <class F> void ForEach(F f) const {
            for (std::uint16_t word = 0; word < kAlphabetSize; ++word)
                for (std::uint64_t bits = m_bits[word]; bits != 0; bits &= bits - 1)
                    f(static_cast<std::uint16_t>(word << 6 | __builtin_ctzll(bits)));
        }

    private:
        std::uint64_t m_bits[kAlphabetSize] = {};
    };
    static constexpr std::uint16_t Pair(unsigned char first, unsigned char second) noexcept {
        return static_cast<std::uint16_t>((first & 63) << 6 | (second & 63));
    }
    // Pairs of adjacent literal symbols that every text this pattern matches must
    // hold (from the segments the whole chain needs); at most max of them are
    // written to out, the count is returned. An invalid pattern gives none.
    std::size_t RequiredPairs(std::uint16_t* out, std::size_t max) const;

    // Whether brackets and parentheses of pattern nest properly and it holds
    // no empty group or class.
    static bool IsWellFormed(const char* pattern);

private:
    struct Element;
    struct MatchResult;
    struct NodeMemo;
    class MatchContext;

    void Reset();
    void CopyFrom(const CRegEx& other);
    bool Compile(const char* source, int& nodes);
    bool CompileNode(std::string_view text, int& nodes);
    void BuildSkipTable();
    int NumberNodes(int first);

    MatchResult MatchNode(MatchContext& ctx, std::size_t start, std::size_t end) const;
    MatchResult MatchPlain(MatchContext& ctx, std::size_t start, std::size_t end) const;
    MatchResult MatchGroup(MatchContext& ctx, std::size_t start, std::size_t end) const;
    MatchResult MatchSegment(MatchContext& ctx, std::size_t start, std::size_t end) const;
    MatchResult MatchSegmentRemembered(MatchContext& ctx, std::size_t start, std::size_t end) const;
    MatchResult Compose(std::size_t start, std::ptrdiff_t segment, std::ptrdiff_t tail) const;
    std::int32_t Occurrence(MatchContext& ctx, NodeMemo& memo, std::size_t from) const;
    std::int32_t Decision(MatchContext& ctx, NodeMemo& memo, std::size_t occurrence,
                          std::size_t end) const;
    bool ElementMatches(int index, unsigned char code) const noexcept;

    bool m_valid = false;
    CIString m_text; // encoded
    std::vector<Element> m_elements;
    std::array<int, kAlphabetSize> m_skip{};
    std::uint32_t m_gap = 0;
    bool m_bounded = false;
    bool m_anchoredEnd = false;
    std::unique_ptr<CRegEx> m_next;
    std::vector<std::unique_ptr<CRegEx>> m_alternatives;
    // Position of this node in its chain, and (at the head) the chain's size;
    // used to remember partial results of hostile patterns.
    int m_nodeId = 0;
    int m_nodeCount = 1;
};
