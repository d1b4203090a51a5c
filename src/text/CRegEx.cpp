#include "text/CRegEx.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// Codes 1..63 in order; code 0 is every byte not listed (controls, `"<>{}` and
// back-quote, DEL, bytes 0x80..0xFF). Upper-case letters share the codes of
// their lower-case forms.
constexpr char kAlphabet[] = ";/\\?:@&^=+$,[ ]-_.!~*'()%#0123456789|abcdefghijklmnopqrstuvwxyz";
static_assert(sizeof(kAlphabet) - 1 == 63);

struct CodeTable {
    unsigned char code[256] = {};
    constexpr CodeTable() {
        for (int i = 0; i < 63; ++i) {
            const auto ch = static_cast<unsigned char>(kAlphabet[i]);
            code[ch] = static_cast<unsigned char>(i + 1);
            if (ch >= 'a' && ch <= 'z')
                code[ch - 'a' + 'A'] = static_cast<unsigned char>(i + 1);
        }
    }
};
constexpr CodeTable kCodes;

constexpr std::uint32_t kUnbounded = 0xFFFFFFFFu;

// A chain deeper than this is refused: matching and compiling recurse once per
// node, and connection threads run on small stacks.
constexpr int kMaxNodes = 256;

// Texts are meant to be encoded; any other byte is read as code 0 rather than
// indexing past the shift table.
inline unsigned char Symbol(unsigned char byte) noexcept {
    return byte < 64 ? byte : 0;
}

} // namespace

// One position of a node's fixed segment.
struct CRegEx::Element {
    static constexpr unsigned char kClass = 251;

    unsigned char kind = 0;             // a symbol code, or kClass
    std::vector<unsigned char> members; // class members, or low and high of a range
    bool negate = false;
    bool range = false;
};

struct CRegEx::MatchResult {
    std::ptrdiff_t start = -1; // offset from the text's first byte; -1: no match
    std::ptrdiff_t length = 0;
    bool Found() const noexcept { return start >= 0; }
};

// What a match remembers of one node once it runs remembered (see MatchContext).
struct CRegEx::NodeMemo {
    static constexpr std::int32_t kUnknown = -2;
    static constexpr std::int32_t kNone = -1;

    struct ResultEntry {
        std::int32_t end = kUnknown; // end of the text the entry holds for
        std::int32_t start = -1;
        std::int32_t length = 0;
    };
    struct DecisionEntry {
        std::int32_t end = kUnknown;
        std::int32_t occurrence = kNone;
    };

    bool ready = false;
    std::vector<ResultEntry> results;      // start of text -> the node's result
    std::vector<std::int32_t> occurrences; // alignment -> first occurrence reached
    std::vector<DecisionEntry> decisions;  // failed occurrence -> decisive occurrence
};

// State of one top-level Match.
//
// The search described by the pattern language backtracks: after a segment is
// found, the rest of the chain is tried there and, when it fails, the segment is
// searched again one byte further on. With several wildcards in a chain every
// level repeats the work of the levels below it, so a hostile pattern costs time
// exponential in its number of wildcards. A match therefore first runs plainly
// with a budget of steps proportional to the work a sane pattern needs; when
// that runs out it starts again and remembers, per node and text position, the
// node's result, the first occurrence of its segment that the Boyer-Moore walk
// reaches from an alignment, and the occurrence at which a failed continuation
// search ends. Every one of these depends only on the node and the positions, so
// the remembered run gives the same results as the plain one, with each entry
// computed once.
class CRegEx::MatchContext {
public:
    static constexpr std::int32_t kUnknown = NodeMemo::kUnknown;
    static constexpr std::int32_t kNone = NodeMemo::kNone;

    MatchContext(const unsigned char* base, std::size_t end) : text(base), textEnd(end) {}

    const unsigned char* text;
    std::size_t textEnd;

    bool memoise = false;
    bool exhausted = false;
    std::size_t budget = 0;

    // Counts one step of the plain run; false once the budget is spent.
    bool Step() noexcept {
        if (memoise)
            return true;
        if (budget == 0) {
            exhausted = true;
            return false;
        }
        --budget;
        return true;
    }

    NodeMemo& Memo(int nodeId) {
        auto& memo = (*tables)[static_cast<std::size_t>(nodeId)];
        if (!memo.ready) {
            memo.results.assign(textEnd + 1, NodeMemo::ResultEntry{});
            memo.occurrences.assign(textEnd + 1, kUnknown);
            memo.decisions.assign(textEnd + 1, NodeMemo::DecisionEntry{});
            memo.ready = true;
        }
        return memo;
    }

    // The remembered run keeps its tables per thread so that repeated hostile
    // matches reuse the memory.
    void StartMemoising(int nodeCount) {
        static thread_local std::vector<NodeMemo> perThread;
        tables = &perThread;
        if (perThread.size() < static_cast<std::size_t>(nodeCount))
            perThread.resize(static_cast<std::size_t>(nodeCount));
        for (auto& memo : perThread)
            memo.ready = false;
        static thread_local std::vector<std::uint32_t> nulTable;
        nulTable.resize(textEnd + 1);
        std::size_t nul = textEnd;
        nulTable[textEnd] = static_cast<std::uint32_t>(textEnd);
        for (std::size_t i = textEnd; i-- > 0;) {
            if (text[i] == 0)
                nul = i;
            nulTable[i] = static_cast<std::uint32_t>(nul);
        }
        nextNul = &nulTable;
        memoise = true;
        exhausted = false;
    }

    // Position of the first NUL at or after from, the end of the whole text at
    // the latest.
    std::size_t NulFrom(std::size_t from) const noexcept {
        if (from >= textEnd)
            return textEnd;
        if (nextNul)
            return (*nextNul)[from];
        const void* nul = std::memchr(text + from, 0, textEnd - from);
        return nul ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - text)
                   : textEnd;
    }

private:
    std::vector<NodeMemo>* tables = nullptr;
    std::vector<std::uint32_t>* nextNul = nullptr;
};

// ---------------------------------------------------------------------------
// Alphabet

int CRegEx::Code(unsigned char byte) noexcept {
    return kCodes.code[byte];
}

char CRegEx::CodeChar(int code) noexcept {
    return (code >= 1 && code <= 63) ? kAlphabet[code - 1] : '\0';
}

void CRegEx::Encode(CIString& text) {
    for (char& ch : text)
        ch = static_cast<char>(kCodes.code[static_cast<unsigned char>(ch)]);
}

void CRegEx::DecodeToText(CIString& text) {
    for (char& ch : text)
        ch = CodeChar(static_cast<unsigned char>(ch));
}

// ---------------------------------------------------------------------------
// Life cycle

CRegEx::CRegEx() = default;

CRegEx::CRegEx(const char* pattern, bool bounded, bool anchoredEnd) {
    SetPattern(pattern, bounded, anchoredEnd);
}

CRegEx::CRegEx(const CRegEx& other) {
    CopyFrom(other);
}

CRegEx& CRegEx::operator=(const CRegEx& other) {
    if (this != &other) {
        Reset();
        CopyFrom(other);
    }
    return *this;
}

CRegEx::CRegEx(CRegEx&& other) noexcept = default;
CRegEx& CRegEx::operator=(CRegEx&& other) noexcept = default;

CRegEx::~CRegEx() {
    // Release a long chain iteratively rather than by nested destructors.
    std::unique_ptr<CRegEx> next = std::move(m_next);
    while (next)
        next = std::move(next->m_next);
}

void CRegEx::Reset() {
    m_valid = false;
    m_text.clear();
    m_elements.clear();
    m_skip.fill(0);
    m_gap = 0;
    m_bounded = false;
    m_anchoredEnd = false;
    m_next.reset();
    m_alternatives.clear();
    m_nodeId = 0;
    m_nodeCount = 1;
}

void CRegEx::CopyFrom(const CRegEx& other) {
    m_valid = other.m_valid;
    m_text = other.m_text;
    m_elements = other.m_elements;
    m_skip = other.m_skip;
    m_gap = other.m_gap;
    m_bounded = other.m_bounded;
    m_anchoredEnd = other.m_anchoredEnd;
    m_nodeId = other.m_nodeId;
    m_nodeCount = other.m_nodeCount;
    if (other.m_next)
        m_next = std::make_unique<CRegEx>(*other.m_next);
    m_alternatives.clear();
    m_alternatives.reserve(other.m_alternatives.size());
    for (const auto& alternative : other.m_alternatives)
        m_alternatives.push_back(std::make_unique<CRegEx>(*alternative));
}

CIString CRegEx::GetPattern() const {
    // The letters come back in lower case, as the alphabet folds them; bytes
    // outside the alphabet are kept as typed so that a list line written back
    // is not cut at them.
    CIString text = m_text;
    for (char& ch : text)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return text;
}

// ---------------------------------------------------------------------------
// Compilation

bool CRegEx::IsWellFormed(const char* pattern) {
    if (!pattern)
        return false;
    if (std::strstr(pattern, "()") || std::strstr(pattern, "[]"))
        return false;
    std::vector<char> open;
    for (const char* p = pattern; *p; ++p) {
        switch (*p) {
        case '\\':
            if (p[1])
                ++p;
            break;
        case '(':
        case '[':
            open.push_back(*p);
            break;
        case ')':
            if (open.empty() || open.back() != '(')
                return false;
            open.pop_back();
            break;
        case ']':
            if (open.empty() || open.back() != '[')
                return false;
            open.pop_back();
            break;
        default:
            break;
        }
    }
    return open.empty();
}

bool CRegEx::SetPattern(const char* pattern, bool bounded, bool anchoredEnd) {
    Reset();
    if (!pattern)
        return false;
    m_text = CIString(pattern);
    if (!IsWellFormed(pattern))
        return false;
    m_bounded = bounded;
    m_anchoredEnd = anchoredEnd;
    int nodes = 0;
    m_valid = Compile(pattern, nodes);
    if (m_valid) {
        m_nodeCount = NumberNodes(0);
    } else {
        // A refused pattern matches nothing and keeps only its text.
        CIString text = std::move(m_text);
        Reset();
        m_text = std::move(text);
    }
    return m_valid;
}

int CRegEx::NumberNodes(int first) {
    m_nodeId = first;
    int next = first + 1;
    for (auto& alternative : m_alternatives)
        next = alternative->NumberNodes(next);
    if (m_next)
        next = m_next->NumberNodes(next);
    return next;
}

namespace {

// Where the group that starts at text[0] == '(' closes: the first unescaped
// `)`, or the end of the text.
std::size_t GroupClose(std::string_view text) {
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == ')')
            return i;
    }
    return text.size();
}

} // namespace

bool CRegEx::Compile(const char* source, int& nodes) {
    if (++nodes > kMaxNodes)
        return false;
    // The scratch copy of the text lives only as long as compilation does.
    const std::string work(source);
    std::string_view p(work);

    if (!m_bounded && !m_anchoredEnd) {
        // A `$` ends the pattern only when it is not itself escaped.
        if (!p.empty() && p.back() == '$') {
            std::size_t backslashes = 0;
            for (std::size_t i = p.size() - 1; i > 0 && p[i - 1] == '\\'; --i)
                ++backslashes;
            if (backslashes % 2 == 0) {
                m_anchoredEnd = true;
                p.remove_suffix(1);
            }
        }
        if (!p.empty() && p.front() == '~') {
            m_bounded = true;
            p.remove_prefix(1);
        }
    }

    while (!p.empty() && (p.front() == '*' || p.front() == '?')) {
        if (p.front() == '*') {
            m_gap = kUnbounded;
            m_bounded = false;
        } else if (m_gap != kUnbounded) {
            ++m_gap;
            m_bounded = true;
        }
        p.remove_prefix(1);
    }

    bool ok = true;
    while (!p.empty()) {
        const char ch = p.front();
        if (ch == '\\') {
            p.remove_prefix(1);
            const char literal = p.empty() ? '\\' : p.front();
            if (!p.empty())
                p.remove_prefix(1);
            Element element;
            element.kind = static_cast<unsigned char>(Code(static_cast<unsigned char>(literal)));
            m_elements.push_back(std::move(element));
            continue;
        }
        if (ch == '*' || ch == '?') {
            m_next = std::make_unique<CRegEx>();
            m_next->m_bounded = (ch == '?');
            m_next->m_anchoredEnd = m_anchoredEnd;
            m_anchoredEnd = false;
            ok = m_next->CompileNode(p, nodes);
            break;
        }
        if (ch == '(') {
            if (m_elements.empty()) {
                const std::size_t close = GroupClose(p);
                std::string_view inside = p.substr(1, close > 0 ? close - 1 : 0);
                std::size_t from = 0;
                for (std::size_t i = 0; i <= inside.size(); ++i) {
                    if (i < inside.size() && inside[i] == '\\') {
                        ++i;
                        continue;
                    }
                    if (i == inside.size() || inside[i] == '|') {
                        auto alternative = std::make_unique<CRegEx>();
                        // An alternative that cannot be compiled matches nothing;
                        // the group itself stands.
                        alternative->m_valid =
                            alternative->CompileNode(inside.substr(from, i - from), nodes);
                        if (!alternative->m_valid && nodes > kMaxNodes)
                            return false;
                        m_alternatives.push_back(std::move(alternative));
                        from = i + 1;
                    }
                }
                if (close + 1 < p.size()) {
                    m_next = std::make_unique<CRegEx>();
                    ok = m_next->CompileNode(p.substr(close + 1), nodes);
                }
            } else {
                m_next = std::make_unique<CRegEx>();
                ok = m_next->CompileNode(p, nodes);
            }
            break;
        }
        if (ch == '[') {
            p.remove_prefix(1);
            Element element;
            element.kind = Element::kClass;
            if (!p.empty() && p.front() == '^') {
                element.negate = true;
                p.remove_prefix(1);
            }
            struct Member {
                unsigned char code;
                bool escaped;
                char ch;
            };
            std::vector<Member> members;
            bool closed = false;
            while (!p.empty()) {
                char member = p.front();
                p.remove_prefix(1);
                if (member == ']') {
                    closed = true;
                    break;
                }
                bool escaped = false;
                if (member == '\\' && !p.empty()) {
                    member = p.front();
                    p.remove_prefix(1);
                    escaped = true;
                }
                members.push_back(
                    {static_cast<unsigned char>(Code(static_cast<unsigned char>(member))), escaped,
                     member});
            }
            if (!closed)
                return false;
            if (members.size() == 3 && members[1].ch == '-' && !members[1].escaped) {
                element.range = true;
                element.members = {members[0].code, members[2].code};
            } else {
                for (const Member& member : members)
                    element.members.push_back(member.code);
            }
            m_elements.push_back(std::move(element));
            continue;
        }
        Element element;
        element.kind = static_cast<unsigned char>(Code(static_cast<unsigned char>(ch)));
        m_elements.push_back(std::move(element));
        p.remove_prefix(1);
    }
    if (ok)
        BuildSkipTable();
    return ok;
}

bool CRegEx::CompileNode(std::string_view text, int& nodes) {
    m_text = CIString(text);
    const std::string source(text);
    m_valid = Compile(source.c_str(), nodes);
    return m_valid;
}

void CRegEx::BuildSkipTable() {
    const int count = static_cast<int>(m_elements.size());
    m_skip.fill(count);
    for (int i = 0; i < count; ++i) {
        const Element& element = m_elements[static_cast<std::size_t>(i)];
        const int shift = count - i - 1;
        if (element.kind != Element::kClass) {
            if (m_alternatives.empty())
                m_skip[element.kind] = shift;
        } else if (element.range) {
            const int low = element.members[0];
            const int high = element.members[1];
            // A negated range lists codes from 1 on, like a negated set.
            for (int c = element.negate ? 1 : 0; c < kAlphabetSize; ++c) {
                const bool inside = c >= low && c <= high;
                if (inside != element.negate)
                    m_skip[static_cast<std::size_t>(c)] = shift;
            }
        } else if (element.negate) {
            for (int c = 1; c < kAlphabetSize; ++c)
                if (std::find(element.members.begin(), element.members.end(), c) ==
                    element.members.end())
                    m_skip[static_cast<std::size_t>(c)] = shift;
        } else {
            for (unsigned char c : element.members)
                m_skip[c] = shift;
        }
    }
}

// ---------------------------------------------------------------------------
// Matching

const char* CRegEx::Match(const char* text, std::size_t length, std::size_t& matchLength) const {
    return Match(text, length, matchLength, Strategy::Auto);
}

const char* CRegEx::Match(const char* text, std::size_t length, std::size_t& matchLength,
                          Strategy strategy) const {
    matchLength = 0;
    if (!text || length == 0 || !m_valid)
        return nullptr;
    MatchContext ctx(reinterpret_cast<const unsigned char*>(text), length);
    const bool canRemember = length < static_cast<std::size_t>(INT32_MAX);
    MatchResult result;
    if (strategy == Strategy::Remembered && canRemember) {
        ctx.StartMemoising(m_nodeCount);
        result = MatchNode(ctx, 0, length);
    } else {
        // Enough for every sane pattern to be searched plainly: a few passes
        // over the text per node.
        ctx.budget = strategy == Strategy::Auto && canRemember
                         ? 4 * (length + 1) * static_cast<std::size_t>(m_nodeCount) + 256
                         : SIZE_MAX;
        result = MatchNode(ctx, 0, length);
        if (ctx.exhausted) {
            ctx.StartMemoising(m_nodeCount);
            result = MatchNode(ctx, 0, length);
        }
    }
    if (!result.Found())
        return nullptr;
    matchLength = static_cast<std::size_t>(result.length);
    return text + result.start;
}

bool CRegEx::ElementMatches(int index, unsigned char code) const noexcept {
    const Element& element = m_elements[static_cast<std::size_t>(index)];
    if (element.kind != Element::kClass)
        return element.kind == code;
    bool hit;
    if (element.range) {
        const auto c = static_cast<signed char>(code);
        hit = c >= static_cast<signed char>(element.members[0]) &&
              c <= static_cast<signed char>(element.members[1]);
    } else {
        hit = std::find(element.members.begin(), element.members.end(), code) !=
              element.members.end();
    }
    return hit != element.negate;
}

CRegEx::MatchResult CRegEx::MatchNode(MatchContext& ctx, std::size_t start, std::size_t end) const {
    if (!ctx.Step() || !m_valid || end <= start)
        return {};
    if (!ctx.memoise)
        return MatchPlain(ctx, start, end);
    auto& entry = ctx.Memo(m_nodeId).results[start];
    if (entry.end == static_cast<std::int32_t>(end))
        return {entry.start, entry.length};
    const MatchResult result = MatchPlain(ctx, start, end);
    entry.end = static_cast<std::int32_t>(end);
    entry.start = static_cast<std::int32_t>(result.start);
    entry.length = static_cast<std::int32_t>(result.length);
    return result;
}

CRegEx::MatchResult CRegEx::MatchPlain(MatchContext& ctx, std::size_t start,
                                       std::size_t end) const {
    if (!m_alternatives.empty())
        return MatchGroup(ctx, start, end);
    if (!m_elements.empty())
        return MatchSegment(ctx, start, end);

    // Only wildcards: they take the text itself.
    const auto length = static_cast<std::ptrdiff_t>(end - start);
    const auto at = static_cast<std::ptrdiff_t>(start);
    if (m_gap == 0)
        return {};
    if (m_gap == kUnbounded)
        return {at, static_cast<std::ptrdiff_t>(ctx.NulFrom(start) - start)};
    const auto gap = static_cast<std::ptrdiff_t>(m_gap);
    if (m_anchoredEnd)
        return length <= gap ? MatchResult{at, length} : MatchResult{};
    // k question marks take at most k bytes, and never more than there are.
    return {at, std::min(gap, length)};
}

CRegEx::MatchResult CRegEx::MatchGroup(MatchContext& ctx, std::size_t start,
                                       std::size_t end) const {
    const auto at = static_cast<std::ptrdiff_t>(start);
    for (const auto& alternative : m_alternatives) {
        const MatchResult found = alternative->MatchNode(ctx, start, end);
        if (ctx.exhausted)
            return {};
        if (!found.Found())
            continue;
        MatchResult result = found;
        if (m_gap == kUnbounded) {
            result.length += found.start - at;
            result.start = at;
        } else if (m_gap == 1 && found.start != at) {
            --result.start;
            ++result.length;
        }
        if (!m_next)
            return result;
        const auto rest = static_cast<std::size_t>(found.start + found.length);
        const MatchResult tail = m_next->MatchNode(ctx, rest, ctx.NulFrom(rest));
        if (ctx.exhausted)
            return {};
        if (tail.Found() && tail.start == static_cast<std::ptrdiff_t>(rest)) {
            result.length += tail.length;
            return result;
        }
    }
    return {};
}

CRegEx::MatchResult CRegEx::Compose(std::size_t start, std::ptrdiff_t segment,
                                    std::ptrdiff_t tail) const {
    const auto at = static_cast<std::ptrdiff_t>(start);
    const auto n = static_cast<std::ptrdiff_t>(m_elements.size());
    if (m_gap == kUnbounded)
        return {at, tail + segment + n};
    const std::ptrdiff_t g = std::min(static_cast<std::ptrdiff_t>(m_gap), segment);
    return {at + segment - g, tail + n + g};
}

CRegEx::MatchResult CRegEx::MatchSegment(MatchContext& ctx, std::size_t start,
                                         std::size_t end) const {
    const auto n = static_cast<std::ptrdiff_t>(m_elements.size());
    const auto length = static_cast<std::ptrdiff_t>(end - start);
    if (length < n)
        return {};
    if (ctx.memoise && !m_bounded && !m_anchoredEnd)
        return MatchSegmentRemembered(ctx, start, end);

    const unsigned char* text = ctx.text + start;
    const auto gap = static_cast<std::ptrdiff_t>(m_gap);
    std::ptrdiff_t j = n - 1;
    std::ptrdiff_t k = m_anchoredEnd ? length - 1 : n - 1;
    for (;;) {
        while (j >= 0) {
            const unsigned char code = Symbol(text[k]);
            if (ElementMatches(static_cast<int>(j), code)) {
                --j;
                --k;
                continue;
            }
            if (!ctx.Step())
                return {};
            k += std::max<std::ptrdiff_t>(m_skip[code], n - j);
            j = n - 1;
            if (k >= length)
                return {};
            if (m_bounded && k - j > gap)
                return {};
        }
        const std::ptrdiff_t s = k + 1;
        if (m_bounded && s > gap)
            return {};
        std::ptrdiff_t tail = 0;
        if (m_next) {
            const auto rest = start + static_cast<std::size_t>(s + n);
            const MatchResult found = m_next->MatchNode(ctx, rest, end);
            if (ctx.exhausted)
                return {};
            if (!found.Found()) {
                // Try the segment again one byte further on.
                k = s + n;
                j = n - 1;
                if (k >= length - n)
                    return {};
                if (m_bounded && k - j > gap)
                    return {};
                continue;
            }
            if (found.start != static_cast<std::ptrdiff_t>(rest))
                return {};
            tail = found.length;
        }
        return Compose(start, s, tail);
    }
}

// The first occurrence of the segment that the Boyer-Moore walk reaches from the
// alignment at `from` over the whole text, or kNone. The walk from an alignment
// does not depend on where the search began, so each alignment is looked at
// once per match.
std::int32_t CRegEx::Occurrence(MatchContext& ctx, NodeMemo& memo, std::size_t from) const {
    const auto n = static_cast<std::ptrdiff_t>(m_elements.size());
    const auto textEnd = static_cast<std::ptrdiff_t>(ctx.textEnd);
    auto walk = [&](std::ptrdiff_t a, bool fill, std::int32_t answer) -> std::int32_t {
        for (;;) {
            if (a + n > textEnd)
                return MatchContext::kNone;
            std::int32_t& known = memo.occurrences[static_cast<std::size_t>(a)];
            if (known != MatchContext::kUnknown && !fill)
                return known;
            if (fill) {
                if (known != MatchContext::kUnknown)
                    return answer;
                known = answer;
            }
            std::ptrdiff_t j = n - 1;
            unsigned char code = 0;
            while (j >= 0) {
                code = Symbol(ctx.text[a + j]);
                if (!ElementMatches(static_cast<int>(j), code))
                    break;
                --j;
            }
            if (j < 0)
                return static_cast<std::int32_t>(a);
            a = a + j + std::max<std::ptrdiff_t>(m_skip[code], n - j) - (n - 1);
        }
    };
    const std::int32_t answer = walk(static_cast<std::ptrdiff_t>(from), false, 0);
    walk(static_cast<std::ptrdiff_t>(from), true, answer);
    return answer;
}

// The occurrence at which the search settles once the continuation failed
// after `occurrence`: the first later occurrence after which the continuation
// matches somewhere, or kNone. Like the walk, this depends only on the
// occurrence and the end of the text.
std::int32_t CRegEx::Decision(MatchContext& ctx, NodeMemo& memo, std::size_t occurrence,
                              std::size_t end) const {
    const auto n = static_cast<std::size_t>(m_elements.size());
    const auto endTag = static_cast<std::int32_t>(end);
    auto settle = [&](std::size_t s, bool fill, std::int32_t answer) -> std::int32_t {
        for (;;) {
            auto& known = memo.decisions[s];
            if (known.end == endTag) {
                if (fill)
                    return answer;
                return known.occurrence;
            }
            if (fill)
                known = {endTag, answer};
            if (m_next->MatchNode(ctx, s + n, end).Found())
                return static_cast<std::int32_t>(s);
            if (s + 2 * n >= end)
                return MatchContext::kNone;
            const std::int32_t further = Occurrence(ctx, memo, s + 1);
            if (further == MatchContext::kNone || static_cast<std::size_t>(further) + n > end)
                return MatchContext::kNone;
            s = static_cast<std::size_t>(further);
        }
    };
    const std::int32_t answer = settle(occurrence, false, 0);
    settle(occurrence, true, answer);
    return answer;
}

CRegEx::MatchResult CRegEx::MatchSegmentRemembered(MatchContext& ctx, std::size_t start,
                                                   std::size_t end) const {
    const auto n = m_elements.size();
    auto& memo = ctx.Memo(m_nodeId);
    const std::int32_t first = Occurrence(ctx, memo, start);
    if (first == MatchContext::kNone || static_cast<std::size_t>(first) + n > end)
        return {};
    const auto s = static_cast<std::size_t>(first);
    if (!m_next)
        return Compose(start, static_cast<std::ptrdiff_t>(s - start), 0);
    const std::int32_t decided = Decision(ctx, memo, s, end);
    if (decided == MatchContext::kNone)
        return {};
    const auto d = static_cast<std::size_t>(decided);
    const MatchResult found = m_next->MatchNode(ctx, d + n, end);
    if (found.start != static_cast<std::ptrdiff_t>(d + n))
        return {};
    return Compose(start, static_cast<std::ptrdiff_t>(d - start), found.length);
}

// ---------------------------------------------------------------------------
// Pre-filter

void CRegEx::TextPairs::Fill(const char* encoded, std::size_t length) noexcept {
    std::fill(std::begin(m_bits), std::end(m_bits), 0);
    for (std::size_t i = 1; i < length; ++i) {
        const std::uint16_t pair = Pair(Symbol(static_cast<unsigned char>(encoded[i - 1])),
                                        Symbol(static_cast<unsigned char>(encoded[i])));
        m_bits[pair >> 6] |= std::uint64_t{1} << (pair & 63);
    }
}

std::size_t CRegEx::RequiredPairs(std::uint16_t* out, std::size_t max) const {
    if (!m_valid)
        return 0;
    std::size_t count = 0;
    // Every node along the chain of continuations has to match for the whole
    // pattern to match, and each segment matches contiguous text; alternatives
    // are optional and give nothing.
    for (const CRegEx* node = this; node && count < max; node = node->m_next.get()) {
        const auto& elements = node->m_elements;
        for (std::size_t i = 1; i < elements.size() && count < max; ++i) {
            if (elements[i - 1].kind == Element::kClass || elements[i].kind == Element::kClass)
                continue;
            const std::uint16_t pair = Pair(elements[i - 1].kind, elements[i].kind);
            if (std::find(out, out + count, pair) == out + count)
                out[count++] = pair;
        }
    }
    return count;
}
