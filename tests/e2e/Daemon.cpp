#include "e2e/Daemon.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace e2e {

namespace {

pid_t Spawn(const std::vector<std::string>& args, int& output) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::dup2(pipeFds[1], 2);
        std::vector<char*> argv;
        std::string binary = CORVAND_BINARY;
        argv.push_back(binary.data());
        std::vector<std::string> copies(args);
        for (auto& arg : copies)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        // The leak checker of a sanitizer build clones a tracer task at exit,
        // which would pass for one more worker; the daemon's leaks are the unit
        // tests' business.
        ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    output = pipeFds[0];
    return pid;
}

// Reads what is available within the limit; stops at end of file.
std::string Drain(int fd, std::chrono::milliseconds limit, bool untilNewline = false) {
    std::string text;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (untilNewline && text.find('\n') != std::string::npos)
            break;
    }
    return text;
}

int WaitChild(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (std::chrono::steady_clock::now() >= end)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

namespace {

// The build's root is also where `make run` keeps its settings and logs: the
// tests set those aside and put them back afterwards.
constexpr const char* kTestDirs[] = {"etc/corvand", "var/log/corvand", "var/run/corvand"};

fs::path SavedCopy(const fs::path& dir) {
    return fs::path(dir.string() + ".saved-by-e2e");
}

} // namespace

Root::Root() : m_port(FreePort()) {
    const fs::path root = CORVAND_TEST_ROOT;
    for (const char* dir : kTestDirs) {
        if (fs::exists(root / dir) && !fs::exists(SavedCopy(root / dir)))
            fs::rename(root / dir, SavedCopy(root / dir));
        fs::remove_all(root / dir);
        fs::create_directories(root / dir);
    }
    WriteStartConf();
}

Root::~Root() {
    // A daemon that a failed test left running would write into the next
    // test's files: end it and its worker.
    const pid_t left = ReadPidFile(PidFile());
    if (IsAlive(left)) {
        for (pid_t child : ChildrenOf(left))
            ::kill(child, SIGKILL);
        ::kill(left, SIGKILL);
    }
    const fs::path root = CORVAND_TEST_ROOT;
    for (const char* dir : kTestDirs) {
        std::error_code ignored;
        fs::remove_all(root / dir, ignored);
        if (fs::exists(SavedCopy(root / dir), ignored))
            fs::rename(SavedCopy(root / dir), root / dir, ignored);
        else
            fs::create_directories(root / dir, ignored);
    }
}

std::string Root::Path(const std::string& relative) const {
    return std::string(CORVAND_TEST_ROOT) + "/" + relative;
}

std::string Root::PidFile() const {
    return Path("var/run/corvand/corvand.pid");
}

void Root::WriteStartConf(const std::string& extraProxyEngineLines) const {
    std::ofstream out(Path("etc/corvand/start.conf"));
    out << "[ProxyEngine]\nEffectiveGroup='nogroup-corvand-test'\n"
        << "EffectiveUser='nouser-corvand-test'\nLocalPort=" << m_port << "\n"
        << extraProxyEngineLines;
}

Outcome RunCorvand(const std::vector<std::string>& args, std::chrono::milliseconds limit) {
    int output = -1;
    const pid_t pid = Spawn(args, output);
    Outcome outcome;
    // A daemon keeps no copy of the pipe, so end of file comes with the
    // command's own end.
    outcome.output = Drain(output, limit);
    ::close(output);
    outcome.exitCode = WaitChild(pid, std::chrono::seconds(2));
    if (outcome.exitCode < 0) {
        ::kill(pid, SIGKILL);
        WaitChild(pid, std::chrono::seconds(2));
    }
    return outcome;
}

Foreground::Foreground() {
    m_pid = Spawn({"-N"}, m_output);
    m_firstLine = Drain(m_output, std::chrono::seconds(5), true);
}

Foreground::~Foreground() {
    if (m_pid > 0 && Wait(std::chrono::milliseconds(0)) < 0) {
        ::kill(m_pid, SIGKILL);
        Wait();
    }
    if (m_output >= 0)
        ::close(m_output);
}

int Foreground::Wait(std::chrono::milliseconds limit) {
    if (m_pid <= 0)
        return -1;
    const int code = WaitChild(m_pid, limit);
    if (code >= 0)
        m_pid = -1;
    return code;
}

ProxyDaemon::ProxyDaemon(const std::string& corvandConf, const std::string& startExtra) {
    m_root.WriteStartConf(startExtra);
    if (!corvandConf.empty())
        std::ofstream(m_root.Path("etc/corvand/corvand.conf")) << corvandConf;
    Start();
}

ProxyDaemon::~ProxyDaemon() {
    if (m_daemon && m_daemon->Pid() > 0)
        Stop();
}

bool ProxyDaemon::Start() {
    m_daemon = std::make_unique<Foreground>();
    m_ready = m_daemon->FirstLine().rfind("pid: ", 0) == 0 && WaitUntil([&] {
                  const int fd = Connect(m_root.Port());
                  if (fd >= 0)
                      ::close(fd);
                  return fd >= 0;
              });
    return m_ready;
}

int ProxyDaemon::Stop() {
    m_ready = false;
    if (!m_daemon || m_daemon->Pid() <= 0)
        return -1;
    ::kill(m_daemon->Pid(), SIGTERM);
    return m_daemon->Wait();
}

std::string ProxyDaemon::ReadFile(const std::string& relative) const {
    std::ifstream in(m_root.Path(relative), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int ReadPidFile(const std::string& path) {
    std::ifstream in(path);
    int pid = 0;
    in >> pid;
    return pid;
}

bool IsAlive(pid_t pid) {
    if (pid <= 0 || ::kill(pid, 0) != 0)
        return false;
    // A zombie has ended: its state letter is Z.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    return close == std::string::npos || line.size() < close + 2 || line[close + 2] != 'Z';
}

std::vector<pid_t> ChildrenOf(pid_t pid) {
    std::vector<pid_t> children;
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    for (pid_t child; in >> child;)
        children.push_back(child);
    return children;
}

} // namespace e2e
