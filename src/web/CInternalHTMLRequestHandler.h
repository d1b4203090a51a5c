#pragma once

#include "text/CIString.h"
#include "web/CInternalRequestHandler.h"

#include <string_view>

// Serves one fixed HTML page (the blank page that replaces removed frames).
class CInternalHTMLRequestHandler : public CInternalRequestHandler {
public:
    static constexpr std::string_view kBlankPage =
        "<html><head><title>Corvane blank page</title></head><body></body></html>";

    explicit CInternalHTMLRequestHandler(std::string_view html) : m_html(html) {}

    void HandleRequest(const CSettings& settings, InternalRequest& request) override;

private:
    const CIString m_html;
};
