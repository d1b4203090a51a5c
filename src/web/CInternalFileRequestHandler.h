#pragma once

#include "web/CInternalRequestHandler.h"

#include <string>

// "cvfile": a file of the files directory by its name (the help pages and
// what they show), its pseudo-tags expanded when it is HTML. Only files
// inside that directory are served; any other name is "filenotfound.html".
class CInternalFileRequestHandler : public CInternalRequestHandler {
public:
    CInternalFileRequestHandler();
    // Serving from another directory (tests).
    explicit CInternalFileRequestHandler(std::string directory);

    void HandleRequest(const CSettings& settings, InternalRequest& request) override;

private:
    const std::string m_directory;
};
