#pragma once

#include "os/CBuffer.h"
#include "text/CIString.h"

#include <cstdint>
#include <string_view>

class CConnInfo;

// One tag inside a body buffer, found by NextTag and kept valid while the
// washer inserts and erases text anywhere in the buffer: the tracker observes
// the buffer and moves its offsets with every change.
//
// Offsets are relative to the buffer's data. start is the first byte of the
// name (just after '<'; for a closing tag, the '/'), attrStart the first byte
// of the attribute area, end the byte just after '>', which is also where the
// next search begins.
class CHTMLTag : public CBufferObserver {
public:
    // Where a NextTag search may look: everything in the buffer.
    static constexpr std::uint32_t kWholeBuffer = UINT32_MAX;
    // A name or attribute area longer than this makes the '<' plain text: the
    // page cannot make the scanner hold or rescan more than this for one tag.
    static constexpr std::uint32_t kMaxTagPart = 32767;

    explicit CHTMLTag(CBuffer& buffer);
    CHTMLTag(const CHTMLTag& other);
    CHTMLTag& operator=(const CHTMLTag& other);
    ~CHTMLTag() override;

    void Clear();

    // Finds the next tag at or after end and before limit (an offset). On
    // failure start is where the washer must hold output back from: the old
    // end when a tag may be cut off by the end of the data, else the limit.
    bool NextTag(std::uint32_t limit = kWholeBuffer);
    // How far a failed FindEndTag got, so that the next search of the same
    // tag goes on from there instead of reading the held text again.
    struct EndTagSearch {
        std::uint32_t resume = 0; // an offset; 0 = from the tag
        bool walking = false;     // resume walks the tags (else: looks for "</script")
    };

    // Called on the tracker that is to hold the closing tag: finds the first
    // closing tag of tag's name after it and before limit (no nesting count).
    // A search for a script's closing tag begins at the first "</script"
    // after the tag. progress, when given, continues an earlier search of the
    // same tag and receives how far a failed one got.
    bool FindEndTag(const CHTMLTag& tag, std::uint32_t limit = kWholeBuffer,
                    EndTagSearch* progress = nullptr);

    bool TagNameIs(ci_string_view name) const;
    // name with its '/', as "/frameset".
    bool ClosingTagIs(ci_string_view name) const;
    bool IsClosing() const;
    bool IsDeclaration() const; // a comment or <!...>
    CIString TagName() const;

    // Whether the attribute exists, and its value as written (quotes
    // excluded). With absolute set and a page given, a non-empty value is
    // made absolute against the page's URL.
    bool GetAttr(ci_string_view name, CIString& value, const CConnInfo* page = nullptr) const;
    bool HasAttr(ci_string_view name) const;
    // Sets the attribute's value, adding it at the end of the attribute area
    // when absent; the empty value removes it. Returns the change in the
    // buffer's length.
    std::int64_t SetAttr(ci_string_view name, std::string_view value);
    // Erases the whole tag, from its '<' through its '>'.
    void RemoveTag();

    std::uint32_t Start() const { return m_start; }
    std::uint32_t End() const { return m_end; }
    std::uint32_t AttrStart() const { return m_attrStart; }
    std::uint32_t AttrLength() const { return m_attrLength; }
    void SetEnd(std::uint32_t offset) { m_end = offset; }
    CBuffer& Buffer() const { return *m_buffer; }

    void Inserted(std::uint32_t pos, std::uint32_t n) override;
    void Erased(std::uint32_t pos, std::uint32_t n) override;

private:
    struct AttrPosition {
        std::uint32_t nameStart = 0;
        std::uint32_t valueStart = 0;
        std::uint32_t valueEnd = 0;
        char quote = 0;        // the quote around the value, 0 when unquoted
        bool hasValue = false; // written with '=' (else a bare name)
    };
    bool FindAttr(ci_string_view name, AttrPosition& where) const;
    std::string_view Text() const;
    // The '>' that ends the tag whose '<' is at lt, before windowEnd; npos
    // when there is none yet. A search that ran out of data is resumed where
    // it stopped, so a tag that trickles in is read once, not once a block.
    std::size_t FindTagEnd(std::string_view text, std::uint32_t lt, std::uint32_t windowEnd);

    // Where an unfinished search for a tag's end stopped, and its quote state.
    struct PendingEnd {
        bool valid = false;
        std::uint32_t lt = 0;
        std::uint32_t pos = 0;
        char quote = 0;
        char lastNonBlank = 0;
    };

    CBuffer* m_buffer;
    std::uint32_t m_start = 0;
    std::uint32_t m_attrStart = 0;
    std::uint32_t m_end = 0;
    std::uint32_t m_nameLength = 0;
    std::uint32_t m_attrLength = 0;
    PendingEnd m_pending;
};
