#pragma once

#include "http/CConnInfo.h"

class CSettings;
class InternalRequest;

// Something the proxy answers itself instead of relaying: the configuration
// pages, the built-in images and pages, the files and statistics pages. One
// object serves every connection thread at once, so a handler keeps no
// per-request state outside the InternalRequest it is handed.
class CInternalRequestHandler {
public:
    CInternalRequestHandler() = default;
    virtual ~CInternalRequestHandler() = default;
    CInternalRequestHandler(const CInternalRequestHandler&) = delete;
    CInternalRequestHandler& operator=(const CInternalRequestHandler&) = delete;

    // Produces the whole response on request's socket. Failures are thrown as
    // CException copies; the connection thread turns them into error pages.
    virtual void HandleRequest(const CSettings& settings, InternalRequest& request) = 0;
    // Whether a request of this method is served; any other is relayed.
    virtual bool AcceptsMethod(CConnInfo::HttpMethod method) const {
        return method == CConnInfo::kMethodGet;
    }
};
