#pragma once

#include "web/CInternalRequestHandler.h"

#include <string>
#include <string_view>

// "cvstats": the statistics page of a user or group, behind the password of
// the configuration pages. It refreshes itself every "refresh" seconds when
// asked, and resets the figures after a confirmation ("reset": "yes" resets,
// "no" goes back, anything else asks).
class CInternalStatsHandler : public CInternalRequestHandler {
public:
    enum class Reset { None, Ask, Yes, No };

    CInternalStatsHandler();
    // Serving the pages of another directory (tests).
    explicit CInternalStatsHandler(std::string directory);

    void HandleRequest(const CSettings& settings, InternalRequest& request) override;

    // What a reset value asks for, blanks and '+' around it ignored.
    static Reset ResetOf(std::string_view value);

private:
    const std::string m_directory;
};
