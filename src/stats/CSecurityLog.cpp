#include "stats/CSecurityLog.h"

#include "os/CActionTimer.h"
#include "os/Paths.h"

namespace {

const char* VerdictWord(CSecurityLog::Verdict verdict) {
    switch (verdict) {
    case CSecurityLog::Removed:
        return "filter\n";
    case CSecurityLog::Allowed:
        return "pass\n";
    default:
        return "unknown\n";
    }
}

} // namespace

CSecurityLog& CSecurityLog::Instance() {
    // Initialised once under the compiler's guard and never deleted, as the
    // timer thread may flush it up to the process's last moment.
    static CSecurityLog* const instance = [] {
        auto* log = new CSecurityLog(paths::LogDir());
        CActionTimer::Register(log);
        return log;
    }();
    return *instance;
}

CSecurityLog::CSecurityLog(std::string directory, Clock clock)
    : CLogFile(std::move(directory), "security", std::move(clock)) {}

std::string CSecurityLog::Line(const Record& record) const {
    std::string line = TimeStamp(Now());
    // The element field: a double quote, the opening word and the text (or
    // "-"), a double quote and a blank.
    const auto element = [&line](std::string_view opening, std::string_view text) {
        line += '"';
        line += opening;
        if (text.empty())
            line += '-';
        else
            AppendEscaped(line, text, false);
        line += "\" ";
    };
    const auto typeAndExtension = [&line, &record] {
        AppendBare(line, record.mediaType);
        line += ' ';
        AppendBare(line, record.extension);
        line += ' ';
        line += VerdictWord(record.verdict);
    };
    const char* const filterOrPass = record.verdict == Removed ? "filter\n" : "pass\n";

    switch (record.kind) {
    case MediaType:
        AppendQuoted(line, record.firstLine);
        AppendNumber(line, record.status);
        typeAndExtension();
        break;
    case Script:
    case Object:
    case Embed:
        element(record.kind == Script   ? "Script "
                : record.kind == Object ? "Object "
                                        : "Embed ",
                record.address);
        AppendNumber(line, record.status);
        typeAndExtension();
        break;
    case Java:
    case ActiveX:
        if (record.kind == ActiveX || !record.classId.empty()) {
            // Only the opening word is written for an empty class id: the
            // field is never "-" here.
            line += "\"Object CLASSID=";
            AppendEscaped(line, record.classId, false);
            line += "\" ";
        } else {
            element("Applet ", record.address);
        }
        AppendNumber(line, record.status);
        line += "- - ";
        line += filterOrPass;
        break;
    case Host:
        AppendQuoted(line, record.firstLine);
        AppendNumber(line, record.status);
        element("Host ", record.address);
        AppendBare(line, record.list);
        line += ' ';
        line += VerdictWord(record.verdict);
        break;
    default:
        return {};
    }
    return line;
}

void CSecurityLog::Write(const Record& record) {
    std::string line = Line(record);
    if (!line.empty())
        Append(line);
}
