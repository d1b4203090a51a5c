#include "web/InternalDispatch.h"

#include "os/CBuffer.h"
#include "os/CException.h"
#include "os/CGenericSocket.h"
#include "text/PercentEscape.h"
#include "text/Vocabulary.h"
#include "web/CInternalFileRequestHandler.h"
#include "web/CInternalGIFRequestHandler.h"
#include "web/CInternalHTMLRequestHandler.h"
#include "web/CInternalRateHandler.h"
#include "web/CInternalStatsHandler.h"
#include "web/CWebConfig.h"
#include "web/InternalRequest.h"

#include <map>
#include <memory>
#include <string>

namespace {

// The handlers by name. Built completely before anyone can look into it and
// never changed afterwards, so lookups need no lock and can't make it grow.
class HandlerRegistry {
public:
    // Built on first use. Never destroyed: connection threads are detached
    // and may still be answering when the process runs its exit handlers.
    static const HandlerRegistry& Instance() {
        static const HandlerRegistry* const registry = new HandlerRegistry;
        return *registry;
    }

    CInternalRequestHandler* Find(const CIString& name) const {
        const auto it = m_handlers.find(name);
        return it == m_handlers.end() ? nullptr : it->second.get();
    }
    std::size_t Size() const { return m_handlers.size(); }

private:
    HandlerRegistry() {
        Register(vocab::kResConf, std::make_unique<CWebConfig>());
        Register(vocab::kResTransGif, std::make_unique<CInternalGIFRequestHandler>(
                                          CInternalGIFRequestHandler::TransparentImage()));
        Register(vocab::kResImageGif, std::make_unique<CInternalGIFRequestHandler>());
        Register(vocab::kResBlankHtml, std::make_unique<CInternalHTMLRequestHandler>(
                                           CInternalHTMLRequestHandler::kBlankPage));
        Register(vocab::kResCvFile, std::make_unique<CInternalFileRequestHandler>());
        Register(vocab::kResCvStats, std::make_unique<CInternalStatsHandler>());
        Register(CIString("cvrate"), std::make_unique<CInternalRateHandler>());
    }

    // A second handler under a name replaces (and deletes) the first.
    void Register(const CIString& name, std::unique_ptr<CInternalRequestHandler> handler) {
        m_handlers.insert_or_assign(name, std::move(handler));
    }

    std::map<CIString, std::unique_ptr<CInternalRequestHandler>> m_handlers;
};

// The body of a POST, read as the head framed it. A request that announced
// neither a length nor chunks has no body: waiting for the browser to close
// would hang a kept-alive connection.
std::string ReadParameterBody(CGenericSocket& socket) {
    if (!socket.ChunkedInput() && socket.BodyBytesLeft() < 0)
        return {};
    if (socket.BodyBytesLeft() > kMaxParameterBody)
        throw errors::BadRequest();
    CBuffer body;
    // Each read brings at least one byte or ends the body, and the size
    // check ends the loop long before the body could grow without limit.
    while (socket.Read(body) > 0) {
        if (body.Size() > kMaxParameterBody)
            throw errors::BadRequest();
    }
    return std::string(body.View());
}

} // namespace

bool Dispatch(const CSettings& settings, CGenericSocket& clientSocket, CConnInfo& request) {
    const CConnInfo::HttpMethod method = request.Method();
    if (method != CConnInfo::kMethodGet && method != CConnInfo::kMethodPost)
        return false;
    CIString query;
    CInternalRequestHandler* handler =
        FindHandler(method, request.Path(), request, clientSocket.ProxyStyle(), query);
    if (handler == nullptr)
        return false;

    // The connection closes after an internal request, whatever the answer
    // (an error page thrown from here included).
    clientSocket.SetKeepAlive(false);
    InternalRequest context(clientSocket, request);
    ParseParameters(clientSocket, context, query);
    handler->HandleRequest(settings, context);
    return true;
}

CInternalRequestHandler* FindHandler(CConnInfo::HttpMethod method, const CIString& path,
                                     const CConnInfo& request, bool proxyStyle, CIString& query) {
    const CIString name = InternalRequestName(path, query);
    CInternalRequestHandler* handler = GetHandler(name);
    if (handler == nullptr || !handler->AcceptsMethod(method))
        return nullptr;
    // A proxy request for another host's "/conf" is that host's business.
    if (proxyStyle && !EqualsNoCase(request.Host().View(), kInternalMarkerHost))
        return nullptr;
    return handler;
}

CInternalRequestHandler* GetHandler(const CIString& name) {
    return HandlerRegistry::Instance().Find(name);
}

std::size_t RegisteredHandlerCount() {
    return HandlerRegistry::Instance().Size();
}

CIString InternalRequestName(const CIString& path, CIString& query) {
    std::string_view rest = path.View();
    if (!rest.empty() && rest.front() == '/')
        rest.remove_prefix(1);
    query.clear();
    const auto mark = rest.find('?');
    if (mark != std::string_view::npos) {
        query.assign(rest.data() + mark + 1, rest.size() - mark - 1);
        return CIString(rest.substr(0, mark));
    }
    return rest.empty() ? vocab::kResConf : CIString(rest);
}

void ParseParameters(CGenericSocket& clientSocket, InternalRequest& request,
                     const CIString& query) {
    InternalRequest::ParameterMap& parameters = request.Parameters();
    parameters.clear();

    std::string text;
    bool form = false;
    if (request.Message().Method() == CConnInfo::kMethodPost) {
        text = ReadParameterBody(clientSocket);
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        form = !text.empty();
    }
    if (!form)
        text.assign(query.View());
    if (text.empty())
        return;
    if (text.back() != '&')
        text += '&';

    const std::string_view all(text);
    std::size_t start = 0;
    for (auto end = all.find('&'); end != std::string_view::npos; end = all.find('&', start)) {
        const std::string_view piece = all.substr(start, end - start);
        start = end + 1;
        const auto equals = piece.find('=');
        if (equals == std::string_view::npos) {
            parameters.emplace(CIString(piece), CIString());
            continue;
        }
        const std::string_view value = piece.substr(equals + 1);
        parameters.emplace(CIString(piece.substr(0, equals)),
                           value.empty() ? CIString() : DecodeParameterValue(value, form));
    }
}

CIString DecodeParameterValue(std::string_view text, bool form) {
    CIString out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        // A '%' without two hex digits behind it stands for itself.
        const int high = c == '%' && i + 2 < text.size() ? HexDigitValue(text[i + 1]) : -1;
        const int low = high >= 0 ? HexDigitValue(text[i + 2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c == '+' && form) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}
