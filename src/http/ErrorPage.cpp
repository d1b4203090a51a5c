// Sending error pages and redirects to the browser.
//
// Placeholder definitions so that the exception family links; the error pages
// themselves (templates, placeholders, heads) are built on the HTTP message
// model and replace these.

#include "http/CException.h"

const CIString& CHTMLErrException::PageText() const {
    return m_page->text;
}

void CHTMLErrException::FillPlaceholders(CIString&, const CConnInfo*, const CConnInfo*,
                                         std::uint32_t) {}

long CHTMLErrException::SendPage(std::uint32_t, CGenericSocket&, const CConnInfo*, const CConnInfo*,
                                 std::uint32_t) const {
    return 0;
}

long CRedirectException::SendPage(std::uint32_t, CGenericSocket&, const CConnInfo*,
                                  const CConnInfo*, std::uint32_t) const {
    return 0;
}
