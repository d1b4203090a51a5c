#pragma once

#include <string>

// Reads the three start settings that the daemon needs before anything else
// (listening port, user and group to run as) straight from start.conf.
//
// A stand-in: it knows nothing of the settings registry, writes no file and
// only understands the plain layout of that file. The settings registry
// replaces it.
class CStartConfStandIn {
public:
    // Reads the file at path; a missing file leaves every value at its default.
    explicit CStartConfStandIn(const std::string& path);

    int LocalPort() const { return m_localPort; }
    const std::string& EffectiveUser() const { return m_user; }
    const std::string& EffectiveGroup() const { return m_group; }

private:
    int m_localPort = 9090;
    std::string m_user = "corvand";
    std::string m_group = "corvand";
};
