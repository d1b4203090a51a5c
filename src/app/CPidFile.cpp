#include "app/CPidFile.h"

#include <csignal>
#include <cstdio>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

} // namespace

pid_t CPidFile::ReadRunning() const {
    File file(std::fopen(m_path.c_str(), "r"));
    if (!file)
        return 0;
    int pid = 0;
    if (std::fscanf(file.get(), "%d", &pid) != 1 || pid <= 0)
        return 0;
    return ::kill(pid, 0) == 0 ? pid : 0;
}

bool CPidFile::Write(pid_t pid) const {
    File file(std::fopen(m_path.c_str(), "w"));
    if (!file)
        return false;
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%d\n", static_cast<int>(pid));
    return std::fwrite(text, 1, static_cast<std::size_t>(n), file.get()) ==
               static_cast<std::size_t>(n) &&
           std::fflush(file.get()) == 0;
}

void CPidFile::Remove() const {
    std::remove(m_path.c_str());
}
