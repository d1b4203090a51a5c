#include "os/Paths.h"

#include <sys/stat.h>

#ifndef CORVAND_ROOT
#define CORVAND_ROOT ""
#endif

namespace paths {

namespace {

std::string Under(std::string_view fixed) {
    std::string path(Root());
    path += fixed;
    return path;
}

std::string InLogDir(std::string_view file) {
    return LogDir() + std::string(file);
}

} // namespace

std::string_view Root() {
    std::string_view root = CORVAND_ROOT;
    while (!root.empty() && root.back() == '/')
        root.remove_suffix(1);
    return root;
}

std::string ConfigDir() {
    return Under("/etc/corvand/");
}
std::string FilesDir() {
    return Under("/usr/share/corvand/files/");
}
std::string ErrorsDir() {
    return Under("/usr/share/corvand/errors/");
}
std::string LogDir() {
    return Under("/var/log/corvand/");
}
std::string RunDir() {
    return Under("/var/run/corvand/");
}

std::string PidFile() {
    return RunDir() + "corvand.pid";
}
std::string StartConf() {
    return ConfigDir() + "start.conf";
}

std::string HostListDir() {
    return ConfigDir() + "hosts.d/";
}

std::string GroupConf(std::string_view group) {
    return ConfigDir() + (group.empty() ? std::string("corvand") : std::string(group)) + ".conf";
}

std::string GroupStat(std::string_view group) {
    return InLogDir(group.empty() ? std::string("corvand.stat") : std::string(group) + ".stat");
}

std::string AccessLog() {
    return InLogDir("access.log");
}
std::string SecurityLog() {
    return InLogDir("security.log");
}
std::string RatingFile() {
    return InLogDir("rating.txt");
}

int MakeDirectory(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return ::mkdir(path.c_str(), 0755) == 0 ? 0 : -1;
    return S_ISDIR(info.st_mode) ? 0 : -1;
}

int MakeParentDirectory(const std::string& file) {
    const auto slash = file.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return 0;
    return MakeDirectory(file.substr(0, slash + 1));
}

} // namespace paths
