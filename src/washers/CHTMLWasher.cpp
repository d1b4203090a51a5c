#include "washers/CHTMLWasher.h"

#include "http/CConnInfo.h"
#include "settings/CSetWhiteList.h"
#include "settings/CSettings.h"
#include "stats/CStatistic.h"
#include "text/Product.h"
#include "text/TextSearch.h"
#include "washers/AdVerdicts.h"
#include "washers/ScriptRules.h"
#include "washers/WasherFactory.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

// The closing tags that a removed link keeps in its place, so that the page's
// nesting survives; an inside tag qualifies when its name occurs anywhere in
// this text.
constexpr std::string_view kKeptInsideTags =
    "/a /b /font /form /frameset /i /noframes /noscript /script /table /iframe /layer /td /tr";

// The meta tags by which a page asks not to be cached.
constexpr std::array<ci_string_view, 4> kCacheMetaNames{"age", "Cache-Control", "Expires",
                                                        "Pragma"};

// The URLs of a srcset: comma-separated candidates, each a URL and an
// optional descriptor.
std::vector<CIString> SrcsetURLs(const CIString& srcset) {
    std::vector<CIString> urls;
    std::size_t pos = 0;
    const std::string_view text = srcset.View();
    while (pos < text.size()) {
        while (pos < text.size() && (textsearch::IsBlank(text[pos]) || text[pos] == ','))
            ++pos;
        const std::size_t start = pos;
        while (pos < text.size() && !textsearch::IsBlank(text[pos]))
            ++pos;
        std::size_t end = pos;
        // A URL directly followed by the comma of the next candidate.
        while (end > start && text[end - 1] == ',')
            --end;
        if (end > start)
            urls.emplace_back(text.substr(start, end - start));
        while (pos < text.size() && text[pos] != ',')
            ++pos;
    }
    return urls;
}

} // namespace

CHTMLWasher::CHTMLWasher(WasherContext context)
    : CWasher(std::move(context)), m_tag(Body()), m_endTag(Body()),
      m_internalPrefix(InternalURL(Settings(), Page(), "")) {}

CHTMLWasher::CHTMLWasher(const CHTMLWasher& other)
    : CWasher(other), m_tag(other.m_tag), m_endTag(other.m_endTag),
      m_internalPrefix(other.m_internalPrefix), m_filterActive(other.m_filterActive),
      m_releasing(other.m_releasing) {}

CHTMLWasher::~CHTMLWasher() = default;

bool CHTMLWasher::Accepts(const CIString& mediaType, const CConnInfo& /*response*/,
                          const WasherContext& context) {
    if (context.request == nullptr || !washers::CouldEngage(*context.settings, context.whiteFlags))
        return false;
    if (!mediaType.empty())
        return mediaType == "text/html";
    const CIString& extension = context.request->Extension();
    return extension == "html" || extension == "htm";
}

std::unique_ptr<CWasher> CHTMLWasher::Create(WasherContext context) {
    return std::make_unique<CHTMLWasher>(std::move(context));
}

CIString CHTMLWasher::InternalURL(const CSettings& settings, const CConnInfo& page,
                                  std::string_view name) {
    CIString host;
    const CIString& configured = settings.GetString(CSettings::kProxyEngineInternalRequestHost);
    if (settings.IsOn(CSettings::kProxyEngineSpecialInternalHostName))
        host = CIString(product::kMarkerHostWritten);
    else if (!settings.IsOn(CSettings::kProxyEngineSpecialInternalByIP) && !configured.empty())
        host = configured;
    else
        page.GetProxyAddress(host);
    CIString url = "http://";
    url += host;
    if (url.back() != '/')
        url += '/';
    url.append(name.data(), name.size());
    return url;
}

WashResult CHTMLWasher::Wash(bool last) {
    std::uint32_t ready = Scan(last, false);
    if (!last && Body().Size() - ready > kMaxHeldBytes) {
        // Held too long: stop waiting for what has not come, and judge the
        // held text as it stands.
        m_framesets.clear();
        m_waitingTag.reset();
        m_searchedTo.reset();
        m_releasing = true;
        ready = Scan(last, false);
        m_releasing = false;
    }
    return {ready, false};
}

std::uint32_t CHTMLWasher::Limit() const {
    return m_limit ? m_limit->Start() - 1 : CHTMLTag::kWholeBuffer;
}

std::uint32_t CHTMLWasher::Scan(bool last, bool inScript) {
    m_filterActive = Settings().GetBool(CSettings::kStandardFilterEnabled) &&
                     (Context().whiteFlags & kWhiteStandard) == 0;
    std::uint32_t stopAt = 0;
    for (;;) {
        if (!m_tag.NextTag(Limit())) {
            stopAt = m_tag.Start();
            break;
        }
        if (m_tag.IsDeclaration()) {
            // Inside a script, comment brackets hide nothing from the scan.
            if (inScript)
                m_tag.SetEnd(m_tag.Start());
            continue;
        }
        if (HandleTag(last, inScript) == Outcome::kWait) {
            stopAt = m_tag.Start();
            m_tag.SetEnd(stopAt - 1); // the next scan begins at this tag's '<'
            break;
        }
    }
    if (inScript)
        return 0;
    std::uint32_t ready = stopAt;
    if (!m_framesets.empty() && !last)
        ready = m_framesets.front().tag.Start();
    if (last)
        m_framesets.clear();
    if (ready > 0)
        --ready; // back over the '<'
    return std::min(ready, Body().Size());
}

CHTMLWasher::Outcome CHTMLWasher::HandleTag(bool last, bool inScript) {
    m_verdict = 1;
    if (Is("img")) {
        // The proxy's own replacement is never judged again.
        CIString src;
        if (m_tag.GetAttr("src", src) && src.StartsWith(m_internalPrefix))
            return Outcome::kNext;
    }
    bool wait = false;
    if (CacheMetaRule())
        return Outcome::kNext;
    if (ObjectRule(last, wait))
        return Outcome::kNext;
    if (wait)
        return Outcome::kWait;
    FramesetRule();
    if (ListedSourceRule(last, wait))
        return Outcome::kNext;
    if (wait)
        return Outcome::kWait;
    if (LinkRule(last, wait))
        return Outcome::kNext;
    if (wait)
        return Outcome::kWait;
    if (BackgroundRule())
        return Outcome::kNext;
    bool insideScanned = false;
    if (!inScript && Is("script") && !ScriptRule(last, insideScanned))
        return Outcome::kWait;
    BodyHandlerRule();
    if (m_verdict != 2 && (BannerSizeRule() || WebBugRule()))
        return Outcome::kNext;
    // The copy has judged every tag inside the script already.
    if (insideScanned)
        m_tag.SetEnd(m_endTag.End());
    return Outcome::kNext;
}

// ---- the rules ----

bool CHTMLWasher::CacheMetaRule() {
    if (!Settings().IsOn(CSettings::kProxyEnginePreventCacheBypass) || !Is("meta"))
        return false;
    CIString name;
    m_tag.GetAttr("http-equiv", name);
    for (const ci_string_view listed : kCacheMetaNames)
        if (ci_string_view(name.data(), name.size()) == listed) {
            RemoveOrReplace();
            return true;
        }
    return false;
}

bool CHTMLWasher::ObjectRule(bool last, bool& wait) {
    const CSettings& settings = Settings();
    if (!settings.IsOn(CSettings::kMediaFilterEnabled) ||
        !settings.IsOn(CSettings::kMediaFilterFilterEmbedded) ||
        (Context().whiteFlags & kWhiteSecurity) != 0)
        return false;
    const bool logging = settings.IsOn(CSettings::kMediaFilterLogging);

    if (Is("applet")) {
        CIString code;
        m_tag.GetAttr("code", code);
        if (settings.IsOn(CSettings::kMediaFilterRemoveJava) &&
            (settings.WhiteList().Lookup(code.View()) & kWhiteSecurity) == 0) {
            const bool found = FindEndTag();
            if (!found && Waits(last)) {
                wait = true;
                return false;
            }
            if (found)
                RemoveElement();
            else
                RemoveOrReplace();
            Count(CStatistic::FilteredEmbeddedObjects);
            if (logging)
                Log(415, CSecurityLog::Java, CSecurityLog::Removed, "", "", "", code.View());
            return true;
        }
        if (logging)
            Log(200, CSecurityLog::Java, CSecurityLog::Allowed, "", "", "", code.View());
        return false;
    }

    CSecurityLog::Kind kind;
    if (Is("object"))
        kind = CSecurityLog::Object;
    else if (Is("embed"))
        kind = CSecurityLog::Embed;
    else if (Is("script") && settings.IsOn(CSettings::kMediaFilterScriptsAsObjects))
        kind = CSecurityLog::Script;
    else
        return false;
    bool found = false;
    if (kind != CSecurityLog::Embed) {
        found = FindEndTag();
        if (!found && Waits(last)) {
            wait = true;
            return false;
        }
    }
    return FilterObject(kind, found);
}

bool CHTMLWasher::FilterObject(CSecurityLog::Kind kind, bool closingFound) {
    const CSettings& settings = Settings();
    CIString classId;
    m_tag.GetAttr("classid", classId);
    CIString url;
    CIString extension;
    CIString type;
    CSecurityLog::Verdict verdict = CSecurityLog::NotListed;
    bool removed = false;
    bool whole = false;

    if (const int classKind = washers::ClassIdKind(classId.View()); classKind != 0) {
        kind = classKind == 2 ? CSecurityLog::ActiveX : CSecurityLog::Java;
        verdict = CSecurityLog::Allowed;
        if ((settings.WhiteList().Lookup(classId.View()) & kWhiteSecurity) == 0 &&
            ((kind == CSecurityLog::ActiveX &&
              settings.IsOn(CSettings::kMediaFilterRemoveActiveX)) ||
             (kind == CSecurityLog::Java && settings.IsOn(CSettings::kMediaFilterRemoveJava)))) {
            removed = true;
            whole = true;
            verdict = CSecurityLog::Removed;
        }
    } else {
        m_tag.GetAttr(kind == CSecurityLog::Object ? "data" : "src", url);
        if (url.size() > 1 && url.front() == '\'' && url.back() == '\'')
            url = url.substr(1, url.size() - 2);
        extension = washers::SplitURL(url.View()).Extension();
        if (extension.empty())
            extension = "NULL";
        m_tag.GetAttr("type", type);
        if ((settings.WhiteList().Lookup(url.View()) & kWhiteSecurity) != 0) {
            verdict = CSecurityLog::Allowed;
        } else {
            const CSetMediaTypes& types = settings.MediaTypes();
            int answer = 0;
            if (type.empty()) {
                answer = types.MatchExtension(extension.View());
                CIString language;
                if (kind == CSecurityLog::Script && (answer == 0 || extension == "NULL") &&
                    m_tag.GetAttr("language", language) && !language.empty()) {
                    // "JavaScript1.2" is judged as text/JavaScript.
                    std::size_t cut = 0;
                    while (cut < language.size() && !textsearch::IsBlank(language[cut]) &&
                           !(language[cut] >= '0' && language[cut] <= '9'))
                        ++cut;
                    type = "text/";
                    type.append(language.data(), cut);
                    answer = types.MatchType(type.View());
                }
            } else {
                answer = types.MatchType(type.View());
            }
            verdict = static_cast<CSecurityLog::Verdict>(answer);
            removed = answer == 1 ||
                      (answer == 0 && settings.IsOn(CSettings::kMediaFilterRemoveUnknownObjects));
        }
        whole = kind == CSecurityLog::Script || m_tag.HasAttr("shapes");
    }

    if (removed) {
        if (whole && closingFound) {
            RemoveElement();
        } else {
            // The alternative content between the tags stays.
            if (closingFound)
                m_endTag.RemoveTag();
            m_tag.RemoveTag();
        }
        Count(CStatistic::FilteredEmbeddedObjects);
    }
    if (settings.IsOn(CSettings::kMediaFilterLogging))
        Log(removed ? 415 : 200, kind, verdict, classId.View(), extension.View(), type.View(),
            url.View());
    return removed;
}

void CHTMLWasher::FramesetRule() {
    if (!m_filterActive || !Settings().IsOn(CSettings::kURLFilterEnabled) ||
        Settings().IsOn(CSettings::kOptionsNoFrameResize))
        return;
    if (Is("frameset"))
        m_framesets.push_back({m_tag, 0});
    else if (m_tag.ClosingTagIs("/frameset") && !m_framesets.empty())
        m_framesets.pop_back();
}

bool CHTMLWasher::ListedSourceRule(bool last, bool& wait) {
    const CSettings& settings = Settings();
    if (!m_filterActive || !settings.IsOn(CSettings::kURLFilterEnabled))
        return false;
    const bool images = settings.IsOn(CSettings::kURLFilterImages);
    const bool frame = Is("frame");
    const bool examined = (Is("img") && images) ||
                          (Is("script") && settings.IsOn(CSettings::kURLFilterScripts)) ||
                          (Is("input") && settings.IsOn(CSettings::kURLFilterForms)) ||
                          (Is("layer") && settings.IsOn(CSettings::kURLFilterLayers)) ||
                          ((frame || Is("iframe")) && settings.IsOn(CSettings::kURLFilterFrames)) ||
                          Is("embed") || Is("applet") || (Is("source") && images);
    if (!examined)
        return false;

    CIString url;
    m_tag.GetAttr(Is("applet") ? "codebase" : "src", url, &Page());
    bool listed = !url.empty() && IsListed(url);
    // Browsers load what srcset names in preference to src.
    if (!listed && (Is("img") || Is("source"))) {
        CIString srcset;
        if (m_tag.GetAttr("srcset", srcset))
            for (CIString& candidate : SrcsetURLs(srcset)) {
                Page().MakeAbsoluteURL(candidate);
                if (IsListed(candidate)) {
                    listed = true;
                    break;
                }
            }
    }
    if (!listed) {
        if (frame && !m_framesets.empty())
            ++m_framesets.back().frames;
        return false;
    }

    if (frame && textsearch::FindNoCase(url.View(), "/banner.") == textsearch::kNotFound &&
        textsearch::FindNoCase(url.View(), "/promo") == textsearch::kNotFound) {
        Count(CStatistic::FilteredFrames);
        m_tag.SetAttr("src", InternalURL(settings, Page(), "blank.html").View());
        m_tag.SetAttr("scrolling", "no");
        if (!settings.IsOn(CSettings::kOptionsNoFrameResize) && !m_framesets.empty()) {
            ResizeFrameset(m_framesets.back());
            ++m_framesets.back().frames;
        }
        return true;
    }
    if (Is("script") || Is("layer") || Is("iframe")) {
        // Removing the opening tag alone would let the content through, and
        // what reached the browser would depend on where the data broke off.
        if (FindEndTag()) {
            Count(Is("script")  ? CStatistic::FilteredScripts
                  : Is("layer") ? CStatistic::FilteredLayers
                                : CStatistic::FilteredFrames);
            RemoveElement();
            return true;
        }
        if (Waits(last)) {
            wait = true;
            return false;
        }
    }
    if (Is("source")) {
        Count(CStatistic::FilteredImages);
        m_tag.RemoveTag();
        return true;
    }
    Count(Is("script") || Is("applet") ? CStatistic::FilteredScripts
          : Is("layer")                ? CStatistic::FilteredLayers
          : Is("iframe")               ? CStatistic::FilteredFrames
          : Is("embed")                ? CStatistic::FilteredEmbeddedObjects
          : Is("input")                ? CStatistic::FilteredForms
                                       : CStatistic::FilteredImages);
    RemoveOrReplace();
    return true;
}

bool CHTMLWasher::LinkRule(bool last, bool& wait) {
    const CSettings& settings = Settings();
    if (!m_filterActive || !settings.IsOn(CSettings::kURLFilterEnabled))
        return false;
    const bool form = Is("form") && settings.IsOn(CSettings::kURLFilterForms);
    const bool anchor = Is("a");
    const bool area = Is("area");
    if (!form && !anchor && !area)
        return false;

    CIString target;
    m_tag.GetAttr(form ? "action" : "href", target, &Page());
    if (target.empty())
        return true;
    if (IsListed(target)) {
        bool found = false;
        if (!area) {
            found = FindEndTag();
            if (!found && Waits(last)) {
                wait = true;
                return false;
            }
        }
        bool remove = !(anchor && !settings.IsOn(CSettings::kURLFilterTextLinks));
        std::string kept;
        if (found) {
            CHTMLTag inside(m_tag);
            const std::uint32_t insideEnd = m_endTag.Start() - 1;
            while (inside.NextTag(insideEnd)) {
                if (inside.TagNameIs("img"))
                    remove = true;
                const CIString name = inside.TagName();
                if (textsearch::FindNoCase(kKeptInsideTags, name.View()) != textsearch::kNotFound)
                    kept.append("<").append(name.View()).append(">");
            }
        }
        if (remove) {
            Count(form ? CStatistic::FilteredForms : CStatistic::FilteredImages);
            if (!found) {
                RemoveOrReplace();
            } else {
                RemoveElement();
                Body().Insert(m_tag.Start(), kept.data(), static_cast<std::uint32_t>(kept.size()));
            }
        }
        return true;
    }
    if (settings.IsOn(CSettings::kScriptFilterEnabled) &&
        settings.IsOn(CSettings::kScriptFilterNoStatusChange)) {
        for (const ci_string_view handler :
             {ci_string_view("onMouseOver"), ci_string_view("onMouseOut")}) {
            CIString code;
            if (m_tag.GetAttr(handler, code) &&
                textsearch::FindNoCase(code.View(), "window.status") != textsearch::kNotFound) {
                m_tag.SetAttr(handler, "");
                Count(CStatistic::FilteredScripts);
            }
        }
    }
    return true;
}

bool CHTMLWasher::BackgroundRule() {
    const CSettings& settings = Settings();
    if (!m_filterActive || !settings.IsOn(CSettings::kURLFilterEnabled) ||
        !settings.IsOn(CSettings::kURLFilterBackgrounds) ||
        !(Is("td") || Is("body") || Is("table")))
        return false;
    CIString url;
    if (!m_tag.GetAttr("background", url, &Page()) || url.empty() || !IsListed(url))
        return false;
    m_tag.SetAttr("background", "");
    Count(CStatistic::FilteredImages);
    return true;
}

bool CHTMLWasher::ScriptRule(bool last, bool& insideScanned) {
    // Without its closing tag a script cannot be judged: wait for it, even on
    // the last call (what is left then goes out unchanged), unless waiting was
    // given up and the text behind it is scanned as page text.
    if (!FindEndTag())
        return m_releasing;
    {
        CHTMLWasher inside(*this);
        inside.m_limit.emplace(m_endTag);
        inside.Scan(last, true);
    }
    if (!m_endTag.FindEndTag(m_tag))
        return m_releasing;
    if (m_filterActive) {
        const std::uint32_t from = m_tag.End();
        const std::uint32_t to = m_endTag.Start() - 1;
        std::string text(Body().View().substr(from, to - from));
        if (washers::ScriptIsUnwanted(text, Settings(), Page(), Context().statistic)) {
            Body().Erase(from, to - from);
            if (washers::NeutraliseScript(text) > 0) {
                Body().Insert(from, text.data(), static_cast<std::uint32_t>(text.size()));
                m_tag.SetAttr("src", "");
            }
        }
    }
    insideScanned = true;
    return true;
}

void CHTMLWasher::BodyHandlerRule() {
    const CSettings& settings = Settings();
    if (!m_filterActive || !Is("body"))
        return;
    const bool scripts = settings.IsOn(CSettings::kScriptFilterEnabled);
    const std::pair<ci_string_view, bool> handlers[] = {
        {"onload", scripts && settings.IsOn(CSettings::kScriptFilterNoLoad)},
        {"onunload", scripts && settings.IsOn(CSettings::kScriptFilterNoUnload)}};
    for (const auto& [name, always] : handlers) {
        CIString code;
        m_tag.GetAttr(name, code);
        if (always || (!code.empty() && washers::ScriptIsUnwanted(code.View(), settings, Page(),
                                                                  Context().statistic))) {
            m_tag.SetAttr(name, "");
            Count(CStatistic::FilteredScripts);
        }
    }
}

bool CHTMLWasher::BannerSizeRule() {
    const CSettings& settings = Settings();
    if (!m_filterActive || !settings.IsOn(CSettings::kDimFilterEnabled))
        return false;
    if (!((Is("img") && settings.IsOn(CSettings::kDimFilterImages)) ||
          (Is("applet") && settings.IsOn(CSettings::kDimFilterApplets)) ||
          ((Is("embed") || Is("object")) && settings.IsOn(CSettings::kDimFilterPlugins))))
        return false;
    CIString width;
    CIString height;
    CIString src;
    m_tag.GetAttr("width", width);
    m_tag.GetAttr("height", height);
    m_tag.GetAttr("src", src, &Page());
    if (!washers::IsBannerSize(settings, Page(), width.ToInt(), height.ToInt(), src.View()))
        return false;
    Count(CStatistic::FilteredImages);
    RemoveOrReplace();
    return true;
}

bool CHTMLWasher::WebBugRule() {
    const CSettings& settings = Settings();
    if (!settings.IsOn(CSettings::kPrivacyEnabled) ||
        !settings.IsOn(CSettings::kPrivacyWebBugFilterEnabled) ||
        (Context().whiteFlags & kWhitePrivacy) != 0 || !Is("img"))
        return false;
    CIString width;
    CIString height;
    m_tag.GetAttr("width", width);
    m_tag.GetAttr("height", height);
    const int w = width.ToInt();
    const int h = height.ToInt();
    if (w < 1 || w > 3 || h < 1 || h > 3)
        return false;
    CIString src;
    m_tag.GetAttr("src", src, &Page());
    if (washers::SplitURL(src.View()).Host() == Page().Host())
        return false;
    Count(CStatistic::FilteredImages);
    RemoveOrReplace();
    return true;
}

// ---- removing ----

const char* CHTMLWasher::ReplacementImage() const {
    // Without a user image, image.gif would be a broken image in the page.
    return Settings().IsOn(CSettings::kOptionsReplaceTrans) ||
                   Settings().GetString(CSettings::kOptionsUserImagePath).empty()
               ? "trans.gif"
               : "image.gif";
}

void CHTMLWasher::RemoveOrReplace() {
    const bool replace = Settings().IsOn(CSettings::kOptionsReplace);
    if (replace && Is("img")) {
        // The image keeps its place in the layout and shows nothing of its own.
        m_tag.SetAttr("src", InternalURL(Settings(), Page(), ReplacementImage()).View());
        m_tag.SetAttr("srcset", "");
        m_tag.SetAttr("border", "0");
        for (const char* attribute : {"alt", "onMouseOver", "onMouseOut", "onClick"})
            m_tag.SetAttr(attribute, "");
        return;
    }
    if (replace && !Is("area") && !Is("meta"))
        InsertPlaceholder();
    m_tag.RemoveTag();
}

void CHTMLWasher::RemoveElement() {
    if (Settings().IsOn(CSettings::kOptionsReplace) && !Is("frame"))
        InsertPlaceholder();
    const std::uint32_t from = m_tag.Start() - 1;
    Body().Erase(from, m_endTag.End() - from);
}

void CHTMLWasher::InsertPlaceholder() {
    std::string image = "<img src=\"";
    image.append(InternalURL(Settings(), Page(), ReplacementImage()).View()).append("\">");
    Body().Insert(m_tag.Start() - 1, image.data(), static_cast<std::uint32_t>(image.size()));
}

void CHTMLWasher::ResizeFrameset(OpenFrameset& frameset) {
    ci_string_view attribute = "rows";
    CIString value;
    frameset.tag.GetAttr(attribute, value);
    if (value.empty()) {
        attribute = "cols";
        frameset.tag.GetAttr(attribute, value);
    }
    if (value.empty())
        return;
    // The field of this frame; with fewer fields than frames, counting starts
    // again at the first.
    const auto fields = static_cast<int>(std::count(value.begin(), value.end(), ',')) + 1;
    const int index = frameset.frames % fields;
    std::size_t begin = 0;
    for (int i = 0; i < index; ++i)
        begin = value.find(',', begin) + 1;
    std::size_t end = value.find(',', begin);
    if (end == CIString::npos)
        end = value.size();
    value.replace(begin, end - begin, "0");
    frameset.tag.SetAttr(attribute, value.View());
}

bool CHTMLWasher::FindEndTag() {
    CHTMLTag::EndTagSearch progress;
    if (m_waitingTag && m_waitingTag->Start() == m_tag.Start())
        progress = {m_searchedTo->End(), m_searchWalking};
    if (m_endTag.FindEndTag(m_tag, Limit(), &progress)) {
        m_waitingTag.reset();
        m_searchedTo.reset();
        return true;
    }
    if (!m_limit) {
        m_waitingTag.emplace(m_tag);
        m_searchedTo.emplace(m_tag);
        m_searchedTo->SetEnd(progress.resume);
        m_searchWalking = progress.walking;
    }
    return false;
}

// ---- helpers ----

bool CHTMLWasher::IsListed(const CIString& url) {
    return washers::IsListedURL(Settings(), url.View(), &Page(), &m_verdict);
}

void CHTMLWasher::Count(int event) const {
    if (Context().statistic != nullptr)
        Context().statistic->Increment(static_cast<CStatistic::Event>(event));
}

void CHTMLWasher::Log(int status, CSecurityLog::Kind kind, CSecurityLog::Verdict verdict,
                      std::string_view classId, std::string_view extension,
                      std::string_view mediaType, std::string_view address) const {
    CSecurityLog::Record record;
    record.firstLine = Page().FirstLine().View();
    record.status = status;
    record.kind = kind;
    record.verdict = verdict;
    record.classId = classId;
    record.extension = extension;
    record.mediaType = mediaType;
    record.address = address;
    CSecurityLog::Instance().Write(record);
}
