#pragma once

#include "text/CIString.h"

#include <cstddef>
#include <string>
#include <string_view>

class CSettings;
class InternalRequest;

// The list pages of the configuration: one filter list of the user being
// configured, ten entries at a time and narrowed by a wildcard search, with
// the shown entries editable and a field to add one.
//
// Only a request that may change the settings (a POST from the proxy's own
// pages, decided by CWebConfig) applies rows or adds an entry; a GET only
// searches and pages.
class CWebListEditor {
public:
    enum ListType : int {
        kDim = 0,
        kURL = 1,
        kCookie = 2,
        kBlock = 3,
        kMedia = 4,
        kWhite = 5,
        kUnknown = -1,
    };
    static constexpr int kPageSize = 10;

    CWebListEditor(const InternalRequest* request, CSettings& settings, bool mayChange);

    // Builds the page. False, with an error text as page, when the request
    // lacks what a list page needs.
    bool Handle(CIString& page);
    // Whether a list was changed and the settings need saving.
    bool Changed() const { return m_changed; }

    // The list type a listType value names (any case; empty: DIM).
    static ListType TypeOf(std::string_view name);
    static const char* TypeName(ListType type);
    // A typed banner size in "width,height" form: blanks and '+' skipped,
    // digits copied, the first other character a comma, the next one (or
    // the end) the end. Empty when a number has more digits than any size.
    static std::string ReduceSize(std::string_view text);
    // The search text as it goes into links and the search field: bytes
    // outside 33..126, '"', '\'' and '&' as %HH.
    static std::string EncodeSearch(std::string_view text);
    // A from value made a page start: negative is 0, others are rounded
    // down to a multiple of the page size (and kept below a billion).
    static int ClampFrom(int from);

private:
    bool Param(const char* name, CIString& value) const;
    bool Has(std::string_view name) const;
    bool HasRow(std::size_t n, const char* field) const;
    bool RowValue(std::size_t n, const char* field, CIString& value) const;

    void ApplyRows();
    std::string AddEntry();
    std::size_t EntryCount() const;
    // The text a row shows for entry index; false past the end.
    bool ShownText(std::size_t index, std::string& text) const;
    void FillRow(std::size_t index, const std::string& shown, CIString& row) const;
    void Render(CIString& page);
    std::string Link(int from, const std::string& search, const char* text) const;

    const InternalRequest* m_request;
    CSettings& m_settings;
    const bool m_mayChange;
    ListType m_type = kDim;
    bool m_changed = false;
};
