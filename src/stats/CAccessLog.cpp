#include "stats/CAccessLog.h"

#include "os/CActionTimer.h"
#include "os/Paths.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

CAccessLog& CAccessLog::Instance() {
    // A function-local static is initialised once, under the compiler's guard;
    // the log is never deleted, as the timer thread may flush it up to the
    // process's last moment.
    static CAccessLog* const instance = [] {
        auto* log = new CAccessLog(paths::LogDir());
        CActionTimer::Register(log);
        return log;
    }();
    return *instance;
}

CAccessLog::CAccessLog(std::string directory, Clock clock)
    : CLogFile(std::move(directory), "access", std::move(clock)) {}

std::string CAccessLog::ClientName(const CNetAddress& address, bool reverseLookup) {
    sockaddr_storage peer{};
    const socklen_t length = address.ToSockaddr(0, peer);
    if (reverseLookup && length > 0) {
        char host[NI_MAXHOST];
        if (::getnameinfo(reinterpret_cast<const sockaddr*>(&peer), length, host, sizeof host,
                          nullptr, 0, NI_NAMEREQD) == 0 &&
            host[0] != '\0')
            return host;
    }
    return address.Empty() ? CNetAddress::FromV4(0).Text() : address.Text();
}

std::string CAccessLog::Line(const Record& record) const {
    std::string line;
    line.reserve(128 + record.firstLine.size() + record.referer.size() + record.userAgent.size());
    // A name from the DNS is outside data too.
    AppendBare(line, ClientName(record.clientAddress, record.reverseLookup));
    line += " - - ";
    line += TimeStamp(Now());
    AppendQuoted(line, record.firstLine);
    AppendNumber(line, record.status);
    AppendNumber(line, record.bytes);
    AppendQuoted(line, record.referer);
    AppendQuoted(line, record.userAgent);
    line += '\n';
    return line;
}

void CAccessLog::Write(const Record& record) {
    Append(Line(record));
}
