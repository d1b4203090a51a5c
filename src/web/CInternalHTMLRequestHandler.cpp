#include "web/CInternalHTMLRequestHandler.h"

#include "web/InternalRequest.h"

void CInternalHTMLRequestHandler::HandleRequest(const CSettings& /*settings*/,
                                                InternalRequest& request) {
    request.BeginResponse(200, "text/html");
    request.SendResponse(m_html.View());
}
