#include "settings/CPersistFile.h"

#include "os/Paths.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kBlanks = " \t\n\r";

// Writes all of data; false on any failure (a full disk among them).
bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The file that a write replaces: the target of a symbolic link rather than
// the link itself, so that a linked settings file stays linked.
std::string ReplacedFile(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr)
            return resolved;
    }
    return path;
}

} // namespace

CPersistFile::CPersistFile(std::string path) : m_path(std::move(path)) {}

CPersistFile::~CPersistFile() = default;

bool CPersistFile::OpenRead() {
    m_in.close();
    m_in.clear();
    m_pending.reset();
    m_in.open(m_path, std::ios::binary);
    return m_in.is_open();
}

bool CPersistFile::FillPending() {
    while (!m_pending) {
        std::string raw;
        if (!m_in.is_open() || !std::getline(m_in, raw))
            return false;
        CIString line(raw);
        line.TrimLeft(kBlanks);
        if (!line.empty())
            m_pending = std::move(line);
    }
    return true;
}

bool CPersistFile::ReadSection(CIString& name) {
    if (!FillPending() || m_pending->front() != '[')
        return false;
    CIString line = m_pending->substr(1);
    line.TrimRight(kBlanks);
    // The last bracket closes the name, so that a name holding one is read
    // back as it was written; text after it belongs to the name, blanks
    // inside it as well.
    const auto close = line.rfind(']');
    if (close == CIString::npos)
        return false;
    line.erase(close, 1);
    name = std::move(line);
    m_pending.reset();
    return true;
}

bool CPersistFile::ReadEntry(CIString& key, CIString& value) {
    if (!FillPending() || m_pending->front() == '[')
        return false;
    CIString line = std::move(*m_pending);
    m_pending.reset();
    line.TrimRight(kBlanks);
    const auto equals = line.find('=');
    if (equals == CIString::npos) {
        key.clear();
        value = std::move(line);
    } else {
        key = line.substr(0, equals);
        value = line.substr(equals + 1);
    }
    return true;
}

void CPersistFile::CloseRead() {
    m_in.close();
    m_pending.reset();
}

bool CPersistFile::OpenWrite() {
    m_out.clear();
    m_writing = true;
    return true;
}

void CPersistFile::AppendLineText(const CIString& text) {
    // Text with a line break of its own (a list entry typed on a web page)
    // would end its line early, and the rest would be read back as a line of
    // its own, even as a section header: it stays on its line.
    // A NUL is dropped: the next reading would trim it away where it leads a
    // line, and the text would not read back as it was.
    for (const char c : text)
        if (c != '\0')
            m_out += (c == '\n' || c == '\r') ? ' ' : c;
}

void CPersistFile::WriteSection(const CIString& name) {
    m_out += '[';
    AppendLineText(name);
    m_out += "]\n";
}

void CPersistFile::WriteEntry(const CIString& key, const CIString& value) {
    if (!key.empty()) {
        AppendLineText(key);
        m_out += '=';
    }
    const std::size_t start = m_out.size();
    AppendLineText(value);
    // A line without a key is read back as it was only when its front does
    // not make it something else: a bracket would start a section (and an
    // unclosed one end the reading, losing the rest of the file), a leading
    // '=' or blank would be taken off. An '=' in front keeps it whole.
    if (key.empty() && m_out.size() > start) {
        const char first = m_out[start];
        if (first == '[' || first == '=' || first == ' ' || first == '\t')
            m_out.insert(start, 1, '=');
    }
    m_out += '\n';
}

bool CPersistFile::Commit() {
    if (!m_writing)
        return false;
    m_writing = false;
    const std::string target = ReplacedFile(m_path);
    // Unique per process and per save, so that two saves of one file never
    // share a temporary file.
    static std::atomic<unsigned> s_serial{0};
    const std::string temp =
        target + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(s_serial.fetch_add(1));
    paths::MakeParentDirectory(target);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_TRUNC | O_CLOEXEC, 0664);
    if (fd < 0)
        return false;
    // A file that its owner has restricted (it may hold a password digest)
    // keeps its permissions.
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0)
        (void)::fchmod(fd, old.st_mode & 07777);
    bool ok = WriteAll(fd, m_out) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok)
        ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    m_out.clear();
    return ok;
}
