#pragma once

#include "text/CIString.h"

#include <cstdint>
#include <memory>
#include <mutex>

// The only way failures travel inside a request: thrown as copies, caught only
// by the connection thread's request loop.
class CException {
public:
    CException();
    explicit CException(const char* message);
    CException(const CException& other);
    CException& operator=(const CException&) = default;
    virtual ~CException() = default;

    // Copies the message when there is one; otherwise leaves text unchanged.
    virtual void GetMessage(CIString& text) const;

    std::uint32_t Serial() const { return m_serial; }

    // "Socket half closed by other side.": the peer closed during a read.
    static const CException& HalfClosed();

private:
    std::uint32_t m_serial;
    std::shared_ptr<const CIString> m_message;
};

// A failed operating-system call; carries errno.
class COSErrException : public CException {
public:
    explicit COSErrException(int osError) : m_osError(osError) {}
    void GetMessage(CIString& text) const override;
    int OsError() const { return m_osError; }

private:
    int m_osError;
};

// An error that the browser sees as a page made from a template of the error
// directory. Copies share the template text with their prototype, so a template
// is read at most once per prototype.
class CHTMLErrException : public CException {
public:
    CHTMLErrException(const char* message, std::uint16_t status, const char* templateName,
                      bool keepAliveAllowed, bool keepServerAllowed);

    void GetMessage(CIString& text) const override;
    // Where a redirect sends the browser; empty for an error page.
    virtual void GetLocation(CIString& url) const { url.clear(); }
    std::uint16_t Status() const { return m_status; }
    bool KeepAliveAllowed() const { return m_keepAliveAllowed; }
    bool KeepServerAllowed() const { return m_keepServerAllowed; }
    const CIString& TemplateName() const { return *m_templateName; }

    // The template text, loaded by load on first use (thread-safe; once per
    // prototype and all its copies). Reading and filling templates is the
    // error pages' business; the exception only keeps what was read.
    template <class Load> const CIString& PageText(Load&& load) const {
        Page& page = *m_page;
        std::call_once(page.loaded, [&] { page.text = load(*m_templateName); });
        return page.text;
    }

protected:
    struct Page {
        std::once_flag loaded;
        CIString text;
    };

    std::shared_ptr<const CIString> m_templateName;
    std::shared_ptr<Page> m_page;
    std::uint16_t m_status;
    bool m_keepAliveAllowed;
    bool m_keepServerAllowed;
};

// A redirect (301) to location; never keeps the browser connection.
class CRedirectException : public CHTMLErrException {
public:
    explicit CRedirectException(const CIString& location);
    void GetMessage(CIString& text) const override;
    void GetLocation(CIString& url) const override { url = m_location; }

private:
    CIString m_location;
};

// The predefined errors, built once and thrown as copies: throw errors::BadRequest();
// Their pages come from the templates named here (http/ErrorPage).
namespace errors {
const CHTMLErrException& NoProxyRequest();   // 400 noproxyreq.html
const CHTMLErrException& BadRequest();       // 400 badrequest.html
const CHTMLErrException& CannotConnect();    // 500 cannotconnect.html
const CHTMLErrException& BadGateway();       // 502 badgateway.html
const CHTMLErrException& RequestBlocked();   // 403 requestblocked.html
const CHTMLErrException& InternalError();    // 500 internalerr.html
const CHTMLErrException& MediaTypeBlocked(); // 415 mediatypeblocked.html
const CHTMLErrException& FileNotFound();     // 404 filenotfound.html
const CHTMLErrException& RequestTimeout();   // 408 requesttimeout.html
const CHTMLErrException& GatewayTimeout();   // 504 gatewaytimeout.html
} // namespace errors
