#pragma once

#include "stats/CLogFile.h"

#include <string>
#include <string_view>

// The security log: one line per filtering decision on a response's media type
// or on an active element of a page, with the verdict.
class CSecurityLog : public CLogFile {
public:
    enum Kind : int {
        MediaType = 0, // the media type of a response
        Java,          // an applet or a Java object
        ActiveX,       // an ActiveX object
        Script,
        Object,
        Embed,
        Host // a request refused for its host: address is the entry, list where it stood
    };
    enum Verdict : int {
        NotListed = 0, // "unknown"
        Removed,       // "filter"
        Allowed        // "pass"
    };

    struct Record {
        std::string_view firstLine; // the request line as received
        int status = 0;             // negative: unknown
        Kind kind = MediaType;
        Verdict verdict = NotListed;
        std::string_view classId;
        std::string_view extension;
        std::string_view mediaType;
        std::string_view address; // the element's URL; an applet's code attribute
        std::string_view list;    // Host: the list that holds the entry
    };

    // The process-wide log in the log directory, created and registered with
    // the action timer on first use; it lives until the process exits.
    static CSecurityLog& Instance();

    explicit CSecurityLog(std::string directory, Clock clock = {});

    // Formats the record's line and adds it to the pending lines. A record of
    // an unknown kind writes nothing.
    void Write(const Record& record);
    // The line, empty for an unknown kind.
    std::string Line(const Record& record) const;
};
