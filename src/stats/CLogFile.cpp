#include "stats/CLogFile.h"

#include "os/Paths.h"

#include <cstdio>
#include <utility>

namespace {

// The month names of the POSIX locale, whatever locale the process runs in.
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

} // namespace

void CLogFile::AppendEscaped(std::string& line, std::string_view text, bool escapeBlank) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            line += '\\';
            line += c;
        } else if (byte < 0x20 || byte > 0x7e || (escapeBlank && c == ' ')) {
            line += "\\x";
            line += kHex[byte >> 4];
            line += kHex[byte & 0x0f];
        } else {
            line += c;
        }
    }
}

CLogFile::CLogFile(std::string directory, std::string_view name, Clock clock)
    : CTimedAction(kFlushInterval), m_directory(std::move(directory)), m_name(name),
      m_path(m_directory + m_name + ".log"), m_clock(std::move(clock)) {}

std::time_t CLogFile::Now() const {
    return m_clock ? m_clock() : std::time(nullptr);
}

std::string CLogFile::TimeStamp(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    // localtime_r has set up the zone; timezone is its standard offset in
    // seconds west of UTC.
    const long east = -::timezone;
    const long offset = east < 0 ? -east : east;
    char text[64];
    std::snprintf(text, sizeof text, "[%02d/%s/%04d:%02d:%02d:%02d %c%02ld%02ld] ", local.tm_mday,
                  kMonths[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, east < 0 ? '-' : '+', offset / 3600, offset % 3600 / 60);
    return text;
}

void CLogFile::AppendQuoted(std::string& line, std::string_view text) {
    if (text.empty()) {
        line += "\"-\" ";
        return;
    }
    line += '"';
    AppendEscaped(line, text, false);
    line += "\" ";
}

void CLogFile::AppendBare(std::string& line, std::string_view text) {
    if (text.empty())
        line += '-';
    else
        AppendEscaped(line, text, true);
}

void CLogFile::AppendNumber(std::string& line, std::int64_t value) {
    if (value < 0)
        line += "- ";
    else
        line += std::to_string(value) + ' ';
}

void CLogFile::Append(std::string_view line) {
    StCritical guard(m_pendingLock);
    if (m_pending.size() > kMaxPending) {
        // Drop whole lines only: the file must never get the tail of a line
        // whose start was thrown away. The pending text always ends with a
        // line feed, so one is found.
        const std::size_t end = m_pending.find('\n', kDropped - 1);
        m_pending.erase(0, end == std::string::npos ? m_pending.size() : end + 1);
    }
    if (m_pending.capacity() - m_pending.size() < line.size())
        m_pending.reserve(m_pending.size() + 100 * line.size());
    m_pending += line;
}

void CLogFile::Flush() {
    StCritical guard(m_logLock);
    std::string lines;
    {
        StCritical pendingGuard(m_pendingLock);
        lines.swap(m_pending);
    }
    if (lines.empty())
        return;
    paths::MakeDirectory(m_directory);
    std::FILE* file = std::fopen(m_path.c_str(), "ae");
    if (file == nullptr)
        return;
    std::fwrite(lines.data(), 1, lines.size(), file);
    std::fclose(file);
}

std::string CLogFile::RotatedPath(std::time_t when) const {
    std::tm local{};
    localtime_r(&when, &local);
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "%02d%02d%02d%02d%02d", local.tm_year % 100,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
    return m_directory + m_name + suffix + ".log";
}

bool CLogFile::Rotate() {
    const std::string target = RotatedPath(Now());
    StCritical guard(m_logLock);
    return std::rename(m_path.c_str(), target.c_str()) == 0;
}

std::size_t CLogFile::PendingBytes() {
    StCritical guard(m_pendingLock);
    return m_pending.size();
}

std::string CLogFile::Pending() {
    StCritical guard(m_pendingLock);
    return m_pending;
}
