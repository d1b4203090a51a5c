#include "web/CWebListEditor.h"

#include "settings/CSettings.h"
#include "text/CRegEx.h"
#include "text/HTMLEscape.h"
#include "text/PercentEscape.h"
#include "web/CWebFileManager.h"
#include "web/InternalRequest.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr std::size_t kMessageLimit = 299;

struct TypeRow {
    const char* name;
    CWebListEditor::ListType type;
};
constexpr TypeRow kTypes[] = {
    {"DIM", CWebListEditor::kDim},       {"URL", CWebListEditor::kURL},
    {"COOKIE", CWebListEditor::kCookie}, {"BLOCK", CWebListEditor::kBlock},
    {"MEDIA", CWebListEditor::kMedia},   {"WHITE", CWebListEditor::kWhite},
};

int MannerOf(const CIString& value) {
    if (value == "kCookieBad")
        return kCookieBad;
    if (value == "kCookieGood")
        return kCookieGood;
    return kCookieNeutral;
}

// Text from a request or a list as a page shows it: HTML-escaped, and with
// '$' written as an entity, so that no shown text can pass for one of the
// placeholders that are filled after it.
std::string Safe(std::string_view text) {
    std::string out;
    for (const char c : HTMLEscape(text)) {
        if (c == '$')
            out += "&#36;";
        else
            out += c;
    }
    return out;
}

// The pattern a typed cookie entry is kept as: the host pattern that its
// line gives back when the settings file is read again, so that what the
// page shows is what the next reload has. Empty when no entry can hold it
// ("*" is the default manner, set on the privacy page).
CIString CookiePattern(std::string_view typed) {
    CIString host = CSetCookieList::ReduceToHost(typed);
    if (host == "*")
        host.clear();
    return host;
}

std::string Quoted(std::string_view text) {
    return "'" + Safe(text) + "' ";
}

std::string Hex(unsigned char c) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {'%', kDigits[c >> 4], kDigits[c & 15]};
}

} // namespace

CWebListEditor::CWebListEditor(const InternalRequest* request, CSettings& settings, bool mayChange)
    : m_request(request), m_settings(settings), m_mayChange(mayChange) {}

CWebListEditor::ListType CWebListEditor::TypeOf(std::string_view name) {
    if (name.empty())
        return kDim;
    for (const TypeRow& row : kTypes)
        if (EqualsNoCase(name, row.name))
            return row.type;
    return kUnknown;
}

const char* CWebListEditor::TypeName(ListType type) {
    for (const TypeRow& row : kTypes)
        if (row.type == type)
            return row.name;
    return "";
}

std::string CWebListEditor::ReduceSize(std::string_view text) {
    std::string out;
    bool comma = false;
    std::size_t digits = 0;
    for (const char c : text) {
        if (c == ' ' || c == '+')
            continue;
        if (c >= '0' && c <= '9') {
            // No size has more than five digits; a longer number would only
            // wrap around into some other size when read.
            if (++digits > 5)
                return {};
            out += c;
            continue;
        }
        if (comma)
            break;
        out += ',';
        comma = true;
        digits = 0;
    }
    return out;
}

std::string CWebListEditor::EncodeSearch(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 33 || byte > 126 || c == '"' || c == '\'' || c == '&')
            out += Hex(byte);
        else
            out += c;
    }
    return out;
}

int CWebListEditor::ClampFrom(int from) {
    // Far beyond any list, and far enough below the largest int that the
    // page arithmetic cannot overflow.
    constexpr int kLargest = 1'000'000'000;
    if (from <= 0)
        return 0;
    from = std::min(from, kLargest);
    return from - from % kPageSize;
}

bool CWebListEditor::Param(const char* name, CIString& value) const {
    return m_request->GetParameter(CIString(name), value);
}

bool CWebListEditor::Has(std::string_view name) const {
    return m_request->HasParameter(CIString(name));
}

bool CWebListEditor::HasRow(std::size_t n, const char* field) const {
    return Has(std::to_string(n) + "_" + field);
}

bool CWebListEditor::RowValue(std::size_t n, const char* field, CIString& value) const {
    return m_request->GetParameter(CIString(std::to_string(n) + "_" + field), value);
}

bool CWebListEditor::Handle(CIString& page) {
    if (m_request == nullptr) {
        page = "Ref to CInternalRequestManager is nil !";
        return false;
    }
    CIString navTo;
    if (!Param("navTo", navTo)) {
        page = "Expected parameter navTo, but not in input !";
        return false;
    }
    CIString typeName;
    Param("listType", typeName);
    m_type = TypeOf(typeName.View());
    // The page file is looked up by the type's own name, never by what the
    // request typed: "list_editor" followed by anything else is no page.
    CIString file = navTo;
    file += m_type == kUnknown ? typeName : CIString(TypeName(m_type));
    file += ".html";
    if (!CWebFileManager::GetFile(file, page) || m_type == kUnknown) {
        page = Safe(page.View());
        return true;
    }

    if (m_mayChange && Has("set"))
        ApplyRows();
    CWebFileManager::ReplaceFirst(page, "$addMessage$", m_mayChange ? AddEntry() : std::string());
    Render(page);
    return true;
}

std::size_t CWebListEditor::EntryCount() const {
    switch (m_type) {
    case kDim:
        return m_settings.DimensionList().Count();
    case kURL:
        return m_settings.URLList().Count();
    case kCookie:
        return m_settings.CookieList().Count();
    case kBlock:
        return m_settings.BlockList().Count();
    case kMedia:
        return m_settings.MediaTypes().Count();
    case kWhite:
        return m_settings.WhiteList().Count();
    case kUnknown:
        break;
    }
    return 0;
}

void CWebListEditor::ApplyRows() {
    // n numbers the entries as the page showed them; index follows the list
    // as it shrinks under deletions.
    std::size_t index = 0;
    for (std::size_t n = 0; index < EntryCount(); ++n) {
        if (!HasRow(n, "shown")) {
            ++index;
            continue;
        }
        m_changed = true;
        CIString text;
        const bool hasText = RowValue(n, "entry", text);
        const bool inactive = HasRow(n, "inactive");
        const bool dontFilter = HasRow(n, "dontfilter");
        switch (m_type) {
        case kDim: {
            CSetDimList& list = m_settings.DimensionList();
            if (hasText)
                list.ChangeSize(index, ReduceSize(text.View()));
            list.SetActive(index, !inactive);
            break;
        }
        case kMedia:
            m_settings.MediaTypes().SetFlags(index, !inactive, dontFilter);
            break;
        case kURL:
        case kBlock: {
            CSetURLList& list = m_type == kURL ? m_settings.URLList() : m_settings.BlockList();
            list.SetFlags(index, !inactive, dontFilter);
            // A cleared field keeps the pattern: an empty one would stay
            // listed and match nothing (deleting is the delete box's job).
            if (hasText && !text.empty())
                list.ChangePattern(index, text.View());
            break;
        }
        case kCookie: {
            CIString manner;
            RowValue(n, "cookieType", manner);
            CSetCookieList& list = m_settings.CookieList();
            if (const CIString pattern = CookiePattern(text.View()); hasText && !pattern.empty())
                list.SetEntry(index, pattern.View(), MannerOf(manner));
            else
                list.SetManner(index, MannerOf(manner));
            break;
        }
        case kWhite: {
            CSetWhiteList& list = m_settings.WhiteList();
            CSetWhiteList::EntryInfo info;
            if (list.GetEntry(index, info)) {
                std::uint32_t bits = info.bits & ~static_cast<std::uint32_t>(kWhiteAll);
                bits |= HasRow(n, "standard") ? std::uint32_t{kWhiteStandard} : 0u;
                bits |= HasRow(n, "privacy") ? std::uint32_t{kWhitePrivacy} : 0u;
                bits |= HasRow(n, "security") ? std::uint32_t{kWhiteSecurity} : 0u;
                bits |= HasRow(n, "blocking") ? std::uint32_t{kWhiteBlocking} : 0u;
                list.SetBits(index, bits);
            }
            if (hasText && !text.empty())
                list.ChangePattern(index, text.View());
            break;
        }
        case kUnknown:
            break;
        }
        if (!HasRow(n, "delete")) {
            ++index;
            continue;
        }
        switch (m_type) {
        case kDim:
            m_settings.DimensionList().Remove(index);
            break;
        case kURL:
            m_settings.URLList().Remove(index);
            break;
        case kCookie:
            m_settings.CookieList().Remove(index);
            break;
        case kBlock:
            m_settings.BlockList().Remove(index);
            break;
        case kMedia:
            m_settings.MediaTypes().Remove(index);
            break;
        case kWhite:
            m_settings.WhiteList().Remove(index);
            break;
        case kUnknown:
            break;
        }
    }
}

std::string CWebListEditor::AddEntry() {
    CIString text;
    if (!Param("new1", text) || text.empty())
        return {};
    m_changed = true;
    const std::string_view typed = text.View();
    const std::string refused = "Error adding " + Quoted(typed);
    const std::string known = "Error adding '" + Safe(typed) + "' . It is already in the list !";
    const std::string added = Quoted(typed) + "added successfully";
    switch (m_type) {
    case kDim:
        // The page offers the inactive box for a new size too; the size line
        // carries it as its "//".
        return m_settings.DimensionList().AddLine((Has("newinactive") ? "//" : "") +
                                                  ReduceSize(typed))
                   ? added
                   : refused;
    case kMedia: {
        std::string line(typed);
        if (Has("newdontfilter"))
            line.insert(0, "!");
        if (Has("newinactive"))
            line.insert(0, "//");
        return m_settings.MediaTypes().AddLine(line) ? added : refused;
    }
    case kURL:
    case kBlock: {
        CSetURLList& list = m_type == kURL ? m_settings.URLList() : m_settings.BlockList();
        return list.Add(typed, !Has("newinactive"), Has("newdontfilter")) ? added : known;
    }
    case kCookie: {
        CIString manner;
        Param("cookieType", manner);
        const CIString pattern = CookiePattern(typed);
        if (pattern.empty())
            return refused;
        return m_settings.CookieList().Add(pattern.View(), MannerOf(manner)) ? added : known;
    }
    case kWhite: {
        std::uint32_t bits = 0;
        bits |= Has("newstandard") ? std::uint32_t{kWhiteStandard} : 0u;
        bits |= Has("newprivacy") ? std::uint32_t{kWhitePrivacy} : 0u;
        bits |= Has("newsecurity") ? std::uint32_t{kWhiteSecurity} : 0u;
        bits |= Has("newblocking") ? std::uint32_t{kWhiteBlocking} : 0u;
        const std::string line = std::string(typed) + "," + std::to_string(bits);
        return m_settings.WhiteList().AddLine(line) ? added : known;
    }
    case kUnknown:
        break;
    }
    return {};
}

bool CWebListEditor::ShownText(std::size_t index, std::string& text) const {
    switch (m_type) {
    case kDim: {
        CSetDimList::Entry entry;
        if (!m_settings.DimensionList().GetEntry(index, entry))
            return false;
        char size[32];
        std::snprintf(size, sizeof size, "%dx%d", std::abs(entry.width), std::abs(entry.height));
        text = size;
        return true;
    }
    case kURL:
    case kBlock: {
        CSetURLList::EntryInfo info;
        const CSetURLList& list = m_type == kURL ? m_settings.URLList() : m_settings.BlockList();
        if (!list.GetEntry(index, info))
            return false;
        text = info.pattern.View();
        return true;
    }
    case kCookie: {
        CSetCookieList::EntryInfo info;
        if (!m_settings.CookieList().GetEntry(index, info))
            return false;
        text = info.pattern.View();
        return true;
    }
    case kMedia: {
        CSetMediaTypes::Entry entry;
        if (!m_settings.MediaTypes().GetEntry(index, entry))
            return false;
        text = entry.type.View();
        if (!entry.extension.empty())
            text += ";" + std::string(entry.extension.View());
        return true;
    }
    case kWhite: {
        CSetWhiteList::EntryInfo info;
        if (!m_settings.WhiteList().GetEntry(index, info))
            return false;
        text = info.pattern.View();
        return true;
    }
    case kUnknown:
        break;
    }
    return false;
}

void CWebListEditor::FillRow(std::size_t index, const std::string& shown, CIString& row) const {
    const auto mark = [&row](const char* placeholder, bool on) {
        CWebFileManager::ReplaceAll(row, placeholder, on ? "checked" : "");
    };
    CWebFileManager::ReplaceFirst(row, "$entryValue$", Safe(shown));
    CWebFileManager::ReplaceAll(row, "$entryNumber$", std::to_string(index));
    switch (m_type) {
    case kDim: {
        CSetDimList::Entry entry;
        m_settings.DimensionList().GetEntry(index, entry);
        mark("$checked$", !entry.Active());
        break;
    }
    case kURL:
    case kBlock: {
        CSetURLList::EntryInfo info;
        (m_type == kURL ? m_settings.URLList() : m_settings.BlockList()).GetEntry(index, info);
        mark("$inactivechecked$", !info.active);
        mark("$dontfilterchecked$", info.dontFilter);
        break;
    }
    case kCookie: {
        CSetCookieList::EntryInfo info;
        m_settings.CookieList().GetEntry(index, info);
        mark("$kCookieBadChecked$", info.manner == kCookieBad);
        mark("$kCookieNeutralChecked$", info.manner == kCookieNeutral);
        mark("$kCookieGoodChecked$", info.manner == kCookieGood);
        break;
    }
    case kMedia: {
        CSetMediaTypes::Entry entry;
        m_settings.MediaTypes().GetEntry(index, entry);
        mark("$inactivechecked$", !entry.active);
        mark("$dontfilterchecked$", entry.dontFilter);
        break;
    }
    case kWhite: {
        CSetWhiteList::EntryInfo info;
        m_settings.WhiteList().GetEntry(index, info);
        mark("$standardchecked$", info.bits & kWhiteStandard);
        mark("$privacychecked$", info.bits & kWhitePrivacy);
        mark("$securitychecked$", info.bits & kWhiteSecurity);
        mark("$blockingchecked$", info.bits & kWhiteBlocking);
        break;
    }
    case kUnknown:
        break;
    }
}

std::string CWebListEditor::Link(int from, const std::string& search, const char* text) const {
    // The link keeps the user being configured: without it the next page
    // would show the list of whoever runs the browser.
    const std::string href = "/conf?navTo=list_editor&listType=" + std::string(TypeName(m_type)) +
                             "&find=" + EncodeSearch(search) + "&from=" + std::to_string(from) +
                             "&UserID=" + EncodeSearch(m_settings.UserName());
    return "<a href=\"" + Safe(href) + "\">" + Safe(text) + "</a>";
}

void CWebListEditor::Render(CIString& page) {
    CIString found;
    const std::string search = Param("find", found) ? std::string(found.View()) : "*";
    int from = 0;
    m_request->GetIntParameter(CIString("from"), from);
    from = ClampFrom(from);
    CWebFileManager::ReplaceAll(page, "$find$", Safe(EncodeSearch(search)));

    CRegEx pattern;
    std::string message;
    std::string rows;
    if (!pattern.SetPattern(PercentEscape(search).c_str())) {
        message =
            "Error:<br>Something is wrong with your regular Expresion: '" + Safe(search) + "' !";
    } else {
        CIString row;
        CIString rowFile;
        CWebFileManager::GetFile(CIString("view_") + TypeName(m_type) + ".html", rowFile);
        long long matches = 0;
        std::string shown;
        for (std::size_t index = 0; matches <= from + kPageSize && ShownText(index, shown);
             ++index) {
            CIString encoded(shown);
            CRegEx::Encode(encoded);
            if (!pattern.Matches(encoded))
                continue;
            if (matches >= from && matches < from + kPageSize) {
                row = rowFile;
                FillRow(index, shown, row);
                rows += row.View();
            }
            ++matches;
        }
        CWebFileManager::ReplaceFirst(page, "$nextLink$",
                                      matches == from + kPageSize + 1
                                          ? Link(from + kPageSize, search, "next entrys >>")
                                          : std::string());
        CWebFileManager::ReplaceFirst(
            page, "$lastLink$",
            from >= 1 ? Link(std::max(0, from - kPageSize), search, "<< last entrys")
                      : std::string());
        const std::string_view lead =
            matches == 0 ? "No entry found with '" : "Found the following entries with '";
        // Cut as the message of at most 299 bytes would be, before escaping.
        const std::string_view shownSearch = std::string_view(search).substr(
            0, std::min(search.size(), kMessageLimit - lead.size()));
        message = std::string(lead) + Safe(shownSearch);
        if (lead.size() + search.size() + 1 <= kMessageLimit)
            message += "'";
    }
    CWebFileManager::ReplaceAll(page, "$nextLink$", "");
    CWebFileManager::ReplaceAll(page, "$lastLink$", "");
    CWebFileManager::ReplaceAll(page, "$from$", std::to_string(from));
    CWebFileManager::ReplaceFirst(page, "$message$", message);
    CWebFileManager::ReplaceFirst(page, "$entrys$", rows);
}
