#pragma once

#include "os/CNetAddress.h"
#include "stats/CLogFile.h"

#include <cstdint>
#include <string>
#include <string_view>

// The access log: one line per request served through the proxy, in the
// common web-server layout with referrer and user agent:
//   client - - [stamp] "request line" status bytes "referer" "user agent" LF
class CAccessLog : public CLogFile {
public:
    struct Record {
        std::string_view firstLine; // the request line as received
        std::string_view referer;
        std::string_view userAgent;
        int status = 0;         // negative: unknown
        std::int64_t bytes = 0; // body bytes sent to the browser; negative: unknown
        CNetAddress clientAddress;
        bool reverseLookup = false; // log the client's host name when it has one
    };

    // The process-wide log in the log directory, created and registered with
    // the action timer on first use; it lives until the process exits.
    static CAccessLog& Instance();

    explicit CAccessLog(std::string directory, Clock clock = {});

    // Formats the record's line and adds it to the pending lines.
    void Write(const Record& record);
    std::string Line(const Record& record) const;

    // The client field: the host name when asked for and known, else the
    // address text (IPv4 dotted, IPv6 in its usual form).
    static std::string ClientName(const CNetAddress& address, bool reverseLookup);
};
