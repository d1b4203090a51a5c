#pragma once

#include "html/CHTMLTag.h"
#include "stats/CSecurityLog.h"
#include "washers/CWasher.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

class CConnInfo;
class CIString;

// Washes HTML pages while they stream: finds every tag in the unsent text and
// applies the filtering rules to it in a fixed order (cache meta tags,
// embedded objects, framesets, listed sources, links and forms, backgrounds,
// scripts, body handlers, banner sizes, web bugs), editing the buffer in place.
//
// The scan goes on across calls from where it stopped, so every tag is
// judged once. It holds back only what may still change: a tag cut by the
// end of the data, an element whose closing tag has not arrived, an open
// frameset whose rows a later frame may shrink. What it holds is bounded by
// kMaxHeldBytes; past that it gives up waiting and releases the text.
class CHTMLWasher : public CWasher {
public:
    explicit CHTMLWasher(WasherContext context);
    ~CHTMLWasher() override;

    // Whether a response of this media type is washed as HTML: some filter
    // that works on HTML is on, and it is text/html (or, without a media
    // type, the URL ends in .html or .htm).
    static bool Accepts(const CIString& mediaType, const CConnInfo& response,
                        const WasherContext& context);
    static std::unique_ptr<CWasher> Create(WasherContext context);

    WashResult Wash(bool last) override;

    // The URL under which the browser fetches one of the proxy's own
    // resources (trans.gif, image.gif, blank.html) from a page.
    static CIString InternalURL(const CSettings& settings, const CConnInfo& page,
                                std::string_view name);

private:
    // A copy scans the inside of a script block: same context, its own
    // trackers on the same buffer, no open framesets.
    CHTMLWasher(const CHTMLWasher& other);

    enum class Outcome { kNext, kWait };
    struct OpenFrameset {
        CHTMLTag tag;
        int frames = 0;
    };

    // Scans from where the last scan stopped; returns the ready count.
    std::uint32_t Scan(bool last, bool inScript);
    Outcome HandleTag(bool last, bool inScript);

    // The rules; true when the tag is done with.
    bool CacheMetaRule();
    bool ObjectRule(bool last, bool& wait);
    bool FilterObject(CSecurityLog::Kind kind, bool closingFound);
    void FramesetRule();
    bool ListedSourceRule(bool last, bool& wait);
    bool LinkRule(bool last, bool& wait);
    bool BackgroundRule();
    // False when the scan must wait for the script's closing tag.
    bool ScriptRule(bool last, bool& insideScanned);
    void BodyHandlerRule();
    bool BannerSizeRule();
    bool WebBugRule();

    void RemoveOrReplace();
    void RemoveElement();
    void InsertPlaceholder();
    void ResizeFrameset(OpenFrameset& frameset);
    // Finds the closing tag of the current tag into m_endTag, resuming an
    // earlier search of the same held tag where that one stopped.
    bool FindEndTag();
    bool Waits(bool last) const { return !last && !m_releasing; }

    bool IsListed(const CIString& url);
    bool Is(ci_string_view name) const { return m_tag.TagNameIs(name); }
    const CConnInfo& Page() const { return *Context().request; }
    void Count(int event) const;
    void Log(int status, CSecurityLog::Kind kind, CSecurityLog::Verdict verdict,
             std::string_view classId, std::string_view extension, std::string_view mediaType,
             std::string_view address) const;
    const char* ReplacementImage() const;
    std::uint32_t Limit() const;

    CHTMLTag m_tag;
    CHTMLTag m_endTag;
    std::vector<OpenFrameset> m_framesets;
    // A copy scanning a script stops at the script's closing tag.
    std::optional<CHTMLTag> m_limit;
    // The tag the last scan waited on, and how far its closing tag was looked
    // for in vain (the end offset of m_searchedTo).
    std::optional<CHTMLTag> m_waitingTag;
    std::optional<CHTMLTag> m_searchedTo;
    bool m_searchWalking = false;
    // The prefix of every internal URL this page's replacements point at.
    CIString m_internalPrefix;
    bool m_filterActive = false;
    bool m_releasing = false; // waiting is off: the held text is released
    int m_verdict = 1;        // the lists' verdict on the current tag
};
