#include "os/CException.h"

#include <atomic>
#include <cstdio>

namespace {

std::atomic<std::uint32_t> g_serial{0};

std::shared_ptr<const CIString> Text(const char* text) {
    return text == nullptr ? nullptr : std::make_shared<const CIString>(text);
}

} // namespace

CException::CException() : m_serial(++g_serial) {}

CException::CException(const char* message) : m_serial(++g_serial), m_message(Text(message)) {}

// A copy keeps the serial of what it copies: serials count constructions.
CException::CException(const CException& other) = default;

void CException::GetMessage(CIString& text) const {
    if (m_message)
        text = *m_message;
}

const CException& CException::HalfClosed() {
    static const CException halfClosed("Socket half closed by other side.");
    return halfClosed;
}

void COSErrException::GetMessage(CIString& text) const {
    char message[64];
    std::snprintf(message, sizeof message, "Exception for OS error %d", m_osError);
    text = message;
}

CHTMLErrException::CHTMLErrException(const char* message, std::uint16_t status,
                                     const char* templateName, bool keepAliveAllowed,
                                     bool keepServerAllowed)
    : CException(message), m_templateName(Text(templateName ? templateName : "")),
      m_page(std::make_shared<Page>()), m_status(status), m_keepAliveAllowed(keepAliveAllowed),
      m_keepServerAllowed(keepServerAllowed) {}

void CHTMLErrException::GetMessage(CIString& text) const {
    text = "This exception class will send a HTML error";
}

CRedirectException::CRedirectException(const CIString& location)
    : CHTMLErrException(nullptr, 301, "", false, false), m_location(location) {}

void CRedirectException::GetMessage(CIString& text) const {
    text = "Redirect the user to: ";
    text += m_location;
}

namespace errors {

#define CORVANE_PREDEFINED_ERROR(name, status, file)                                               \
    const CHTMLErrException& name() {                                                              \
        static const CHTMLErrException error(nullptr, status, file, false, false);                 \
        return error;                                                                              \
    }

CORVANE_PREDEFINED_ERROR(NoProxyRequest, 400, "noproxyreq.html")
CORVANE_PREDEFINED_ERROR(BadRequest, 400, "badrequest.html")
CORVANE_PREDEFINED_ERROR(CannotConnect, 500, "cannotconnect.html")
CORVANE_PREDEFINED_ERROR(BadGateway, 502, "badgateway.html")
CORVANE_PREDEFINED_ERROR(RequestBlocked, 403, "requestblocked.html")
CORVANE_PREDEFINED_ERROR(InternalError, 500, "internalerr.html")
CORVANE_PREDEFINED_ERROR(MediaTypeBlocked, 415, "mediatypeblocked.html")
CORVANE_PREDEFINED_ERROR(FileNotFound, 404, "filenotfound.html")
CORVANE_PREDEFINED_ERROR(RequestTimeout, 408, "requesttimeout.html")
CORVANE_PREDEFINED_ERROR(GatewayTimeout, 504, "gatewaytimeout.html")

#undef CORVANE_PREDEFINED_ERROR

} // namespace errors
