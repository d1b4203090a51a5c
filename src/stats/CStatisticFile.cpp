#include "stats/CStatisticFile.h"

#include "os/Paths.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr const char* kBlanks = " \t\r\n";

} // namespace

CStatisticFile::CStatisticFile(std::string path) : m_path(std::move(path)) {}

CStatisticFile::~CStatisticFile() {
    // A write that was never closed did not finish: the old file stays.
    if (m_writing)
        Discard();
    else if (m_file != nullptr)
        std::fclose(m_file);
}

bool CStatisticFile::Close() {
    if (m_file == nullptr)
        return false;
    if (!m_writing) {
        std::fclose(m_file);
        m_file = nullptr;
        return true;
    }
    bool ok = !m_failed && std::fflush(m_file) == 0 && ::fsync(::fileno(m_file)) == 0;
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    m_writing = false;
    const std::string temporary = TemporaryPath();
    if (ok && std::rename(temporary.c_str(), m_path.c_str()) == 0)
        return true;
    ::unlink(temporary.c_str());
    return false;
}

void CStatisticFile::Discard() {
    std::fclose(m_file);
    m_file = nullptr;
    m_writing = false;
    ::unlink(TemporaryPath().c_str());
}

bool CStatisticFile::OpenRead(std::string& name, std::string& value) {
    if (m_file != nullptr)
        Close();
    m_file = std::fopen(m_path.c_str(), "re");
    if (m_file == nullptr)
        return false;
    return ReadNext(name, value);
}

bool CStatisticFile::ReadLine() {
    m_line.clear();
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, m_file) != nullptr) {
        m_line += chunk;
        if (m_line.back() == '\n')
            return true;
    }
    return !m_line.empty();
}

bool CStatisticFile::ReadNext(std::string& name, std::string& value) {
    if (m_file == nullptr || m_writing)
        return false;
    for (;;) {
        if (!ReadLine()) {
            Close();
            return false;
        }
        const std::size_t first = m_line.find_first_not_of(kBlanks);
        if (first == std::string::npos)
            continue; // empty line
        const std::size_t last = m_line.find_last_not_of(kBlanks);
        const std::string line = m_line.substr(first, last - first + 1);
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            return false;
        name = line.substr(0, equals);
        value = line.substr(equals + 1);
        return true;
    }
}

bool CStatisticFile::OpenWrite(const std::string& name, const std::string& value) {
    if (m_file != nullptr)
        Close();
    const std::string temporary = TemporaryPath();
    // A leftover of an interrupted save is replaced; O_EXCL then makes sure the
    // file written is one this save created, with the mode asked for.
    ::unlink(temporary.c_str());
    paths::MakeParentDirectory(m_path);
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0664);
    if (fd < 0)
        return false;
    m_file = ::fdopen(fd, "w");
    if (m_file == nullptr) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    }
    m_writing = true;
    m_failed = false;
    return WriteNext(name, value);
}

bool CStatisticFile::WriteNext(const std::string& name, const std::string& value) {
    if (m_file == nullptr || !m_writing || m_failed)
        return false;
    if (std::fprintf(m_file, "%s=%s\n", name.c_str(), value.c_str()) < 0)
        m_failed = true;
    return !m_failed;
}
