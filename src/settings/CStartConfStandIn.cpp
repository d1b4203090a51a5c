#include "settings/CStartConfStandIn.h"

#include "washers/CIString.h"

#include <fstream>

namespace {

// Strips the single quotes around a string value; escapes are not expected in
// user and group names.
std::string Unquote(CIString value) {
    value.TrimLeft("'");
    value.TrimRight("'");
    return value.Str();
}

} // namespace

CStartConfStandIn::CStartConfStandIn(const std::string& path) {
    std::ifstream in(path);
    CIString section;
    bool port = false, user = false, group = false; // first value wins
    for (std::string raw; std::getline(in, raw);) {
        CIString line(raw);
        line.TrimLeft();
        line.TrimRight();
        if (line.empty())
            continue;
        if (line[0] == '[') {
            const auto close = line.find(']');
            section = close == CIString::npos ? CIString() : CIString(line.substr(1, close - 1));
            continue;
        }
        const auto eq = line.find('=');
        if (eq == CIString::npos || section != "ProxyEngine")
            continue;
        const CIString key = line.substr(0, eq);
        const CIString value = line.substr(eq + 1);
        if (key == "LocalPort" && !port) {
            m_localPort = value.ToInt();
            port = true;
        } else if (key == "EffectiveUser" && !user) {
            m_user = Unquote(value);
            user = true;
        } else if (key == "EffectiveGroup" && !group) {
            m_group = Unquote(value);
            group = true;
        }
    }
}
