#pragma once

#include "http/CConnInfo.h"
#include "text/CIString.h"
#include "text/Product.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

class CGenericSocket;
class CInternalRequestHandler;
class CSettings;
class InternalRequest;

// The requests the proxy answers itself. Handlers are registered under a
// name once per process, on first use, and live until the process ends. A
// request is internal when its path names a handler that accepts its method
// and it is addressed to the proxy: under the marker host, or sent to the
// proxy as to a web server.

// The host name under which pages address the proxy's own resources.
inline constexpr std::string_view kInternalMarkerHost = product::kMarkerHost;
// The longest request body read for parameters.
inline constexpr std::int64_t kMaxParameterBody = 1024 * 1024;

// Answers the request when an internal handler serves it and returns true;
// false when the request is to be relayed as usual. Only GET and POST can be
// internal. The browser socket's keep-alive is off afterwards: the connection
// ends after an internal request. Errors are thrown as CException copies.
bool Dispatch(const CSettings& settings, CGenericSocket& clientSocket, CConnInfo& request);

// The handler of a request, or null; query receives the text after the '?'.
CInternalRequestHandler* FindHandler(CConnInfo::HttpMethod method, const CIString& path,
                                     const CConnInfo& request, bool proxyStyle, CIString& query);

// The handler registered under name (any case), or null. Never registers.
CInternalRequestHandler* GetHandler(const CIString& name);
// How many handlers are registered.
std::size_t RegisteredHandlerCount();

// The handler name a request path asks for (the empty path names "conf"),
// and the query after the first '?', empty when there is none.
CIString InternalRequestName(const CIString& path, CIString& query);

// Fills the request's parameters: from a POST body when it has one (read
// by the framing of the head, at most kMaxParameterBody bytes, else
// badrequest.html), otherwise from the query.
void ParseParameters(CGenericSocket& clientSocket, InternalRequest& request, const CIString& query);

// Replaces every %XX by its byte; with form set, '+' becomes a blank.
CIString DecodeParameterValue(std::string_view text, bool form);
