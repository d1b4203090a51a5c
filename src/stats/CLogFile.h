#pragma once

#include "os/CCriticalSection.h"
#include "os/CTimedAction.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

// A text log that collects its lines in memory and appends them to its file
// when flushed (every 30 seconds as a timed action), so request threads never
// touch the disk. Rotation renames the current file to a time-stamped name;
// the next flush starts a new one.
//
// Locks: the log lock is held by Flush and Rotate, the pending lock only while
// the pending lines are touched. Flush takes the pending lock inside the log
// lock, never the other way round, and holds the log lock over nothing but the
// file's own calls, so a rotation on the signal thread waits at most for one
// append to finish.
class CLogFile : public CTimedAction {
public:
    using Clock = std::function<std::time_t()>;

    static constexpr int kFlushInterval = 30;
    // Beyond this many pending bytes the oldest half is dropped before a line
    // is added.
    static constexpr std::size_t kMaxPending = 3'000'000;
    static constexpr std::size_t kDropped = 1'500'000;

    // The file is directory + name + ".log"; rotated files are directory +
    // name + YYMMDDhhmm + ".log". The clock gives the time of stamps and
    // rotation names (the system clock when empty).
    CLogFile(std::string directory, std::string_view name, Clock clock = {});
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    void Execute() override { Flush(); }

    // Appends the pending lines to the file. When the file cannot be opened
    // they are dropped.
    void Flush();
    // Renames the current file to its time-stamped name (a file already there
    // is replaced). Pending lines go to the next, new file. False when there
    // was nothing to rename.
    bool Rotate();

    const std::string& Path() const { return m_path; }
    std::string RotatedPath(std::time_t when) const;
    std::size_t PendingBytes();
    std::string Pending();

    // "[05/Dec/2001:15:30:00 +0100] ": local time, with the zone's standard
    // offset (daylight saving time is not applied to the offset).
    static std::string TimeStamp(std::time_t when);
    // Text between double quotes and a blank; empty text as "-". Quotes,
    // backslashes, control bytes and bytes above 0x7e are escaped (\" \\ \xHH)
    // so that no field text can end its field or its line early.
    static void AppendQuoted(std::string& line, std::string_view text);
    // Unquoted text; empty text as "-". Escaped as quoted text, and blanks as
    // \x20, so the text stays one field.
    static void AppendBare(std::string& line, std::string_view text);
    // The escaping of the two above, without quotes or the "-" for empty text.
    static void AppendEscaped(std::string& line, std::string_view text, bool escapeBlank);
    // A number and a blank; negative numbers (unknown) as "- ".
    static void AppendNumber(std::string& line, std::int64_t value);

protected:
    void Append(std::string_view line);
    std::time_t Now() const;

private:
    std::string m_directory;
    std::string m_name;
    std::string m_path;
    Clock m_clock;
    CCriticalSection m_logLock;
    CCriticalSection m_pendingLock;
    std::string m_pending;
};
