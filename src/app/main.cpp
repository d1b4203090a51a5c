// corvand: the proxy daemon and its own control tool.

#include "app/CApp.h"
#include "app/CControlSignals.h"
#include "app/CPidFile.h"
#include "app/CSupervisor.h"
#include "app/CommandLine.h"
#include "os/Paths.h"
#include "settings/CSettingsManager.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string g_programName;

// Started as root, the daemon runs as the configured user and group. An
// unknown user means no switch; an unknown group means the user's own group.
// Every invocation reads the start settings (creating start.conf when it is
// missing), the control commands too.
void SwitchUser() {
    const StartSettingsRef start = CSettingsManager().LoadStart();
    if (::getuid() != 0)
        return;
    const passwd* user = ::getpwnam(start->EffectiveUser().c_str());
    if (user == nullptr)
        return;
    const group* grp = ::getgrnam(start->EffectiveGroup().c_str());
    const gid_t gid = grp != nullptr ? grp->gr_gid : user->pw_gid;
    const uid_t uid = user->pw_uid;
    // Results ignored: a failed switch leaves the daemon as it was started.
    // (Named rather than cast to void: with _FORTIFY_SOURCE a cast does not
    // silence the unused-result warning.)
    [[maybe_unused]] const int groupSwitched = ::setgid(gid);
    [[maybe_unused]] const int userSwitched = ::setuid(uid);
}

// A detached daemon has no terminal: keep its standard descriptors from holding
// on to whatever started it.
void DetachStandardFiles() {
    const int null = ::open("/dev/null", O_RDWR);
    if (null < 0)
        return;
    for (int fd = 0; fd <= 2; ++fd)
        ::dup2(null, fd);
    if (null > 2)
        ::close(null);
}

int RunWorkingProcess() {
    CControlSignals::Block();
    CApp app;
    return app.Run();
}

} // namespace

int main(int argc, char** argv) {
    g_programName = ProgramName(argc > 0 ? argv[0] : "corvand");
    SwitchUser();

    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const CommandLine line = CommandLine::Parse(args);
    if (line.usageError) {
        std::fputs(UsageText(g_programName).c_str(), stdout);
        return 1;
    }
    if (line.option == CommandLine::Option::Version) {
        std::fputs(VersionText(g_programName).c_str(), stdout);
        return 0;
    }
    if (line.option == CommandLine::Option::Help) {
        std::fputs(UsageText(g_programName).c_str(), stdout);
        return 0;
    }

    const CPidFile pidFile(paths::PidFile());
    const pid_t running = pidFile.ReadRunning();
    if (line.command != CommandLine::Command::None) {
        if (running > 0)
            ::kill(running, CommandLine::SignalOf(line.command));
        else
            std::printf("%s is not running.\n", g_programName.c_str());
        return 0;
    }
    if (running > 0 && running != ::getpid()) {
        std::printf("%s is already running. PID = %d\n", g_programName.c_str(), running);
        return 0;
    }

    const bool daemonMode = line.option != CommandLine::Option::Foreground;
    if (daemonMode) {
        std::fflush(stdout);
        const pid_t pid = ::fork();
        if (pid > 0)
            return 0;
        if (pid < 0)
            std::printf("fork failed\n");
        else if (::setsid() < 0)
            std::printf("setsid failed\n");
    }
    if (!pidFile.Write(::getpid())) {
        std::fputs(pidFile.Path().c_str(), stdout);
        return 1;
    }
    if (daemonMode) {
        std::fflush(stdout);
        DetachStandardFiles();
    } else {
        std::printf("pid: %d\n", static_cast<int>(::getpid()));
        std::fflush(stdout);
    }

    CSupervisor supervisor(daemonMode, RunWorkingProcess);
    const int result = supervisor.Run();
    if (supervisor.ShouldRemovePidFile())
        pidFile.Remove();
    return result;
}
