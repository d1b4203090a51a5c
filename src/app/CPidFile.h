#pragma once

#include <string>
#include <sys/types.h>

// The daemon's pid file: the decimal pid and a newline.
class CPidFile {
public:
    explicit CPidFile(std::string path) : m_path(std::move(path)) {}

    // The pid of a running daemon, or 0 when the file is missing, unreadable,
    // holds no positive number, or names a process that no longer exists.
    pid_t ReadRunning() const;
    bool Write(pid_t pid) const;
    void Remove() const;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};
