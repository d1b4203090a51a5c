#pragma once

#include <string>
#include <string_view>

// Every fixed file location of the daemon. Nothing on the command line or in the
// environment changes them; a build may only put all of them below one
// compile-time root (empty for the real system paths). Directory names end
// with '/', and a file name is appended to its directory directly.
namespace paths {

// The compile-time root, without a trailing '/'; empty in a system build.
std::string_view Root();

std::string ConfigDir(); // /etc/corvand/
std::string FilesDir();  // /usr/share/corvand/files/
std::string ErrorsDir(); // /usr/share/corvand/errors/
std::string LogDir();    // /var/log/corvand/
std::string RunDir();    // /var/run/corvand/

std::string PidFile();     // /var/run/corvand/corvand.pid
std::string StartConf();   // /etc/corvand/start.conf
std::string HostListDir(); // /etc/corvand/hosts.d/, every *.txt a host list

// Settings file of a group; the default group (empty name) has corvand.conf.
std::string GroupConf(std::string_view group);
// Statistics file of a group; the default group has corvand.stat.
std::string GroupStat(std::string_view group);
std::string AccessLog();
std::string SecurityLog();
std::string RatingFile();

// Creates a directory with mode 0755 when nothing exists at the path.
// Returns 0 when a directory is there afterwards, -1 otherwise.
int MakeDirectory(const std::string& path);
// The getters above only name files; whoever writes one makes its directory
// first with this (one level, as MakeDirectory).
int MakeParentDirectory(const std::string& file);

} // namespace paths
