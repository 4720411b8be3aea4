#include "service/service_script.h"

#include "platform/log.h"

#include <cstdio>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace
{
constexpr const char *kInitScript = "/etc/init.d/velad";
constexpr const char *kUnit = "vela.service";
constexpr const char *kRootRunner = "/usr/bin/pkexec";

bool IsFolder(const char *path)
{
    struct stat info {
    };
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// Runs argv without a shell (nothing here passes through one) and waits.
bool RunAndWait(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        ;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
} // namespace

bool LSystemServiceScript::Run(const char *action)
{
    std::vector<std::string> argv;
    // systemd marks itself running by this folder (sd_booted(3)).
    if (IsFolder("/run/systemd/system"))
        argv = {"/usr/bin/systemctl", action, kUnit};
    else if (access(kInitScript, X_OK) == 0)
        argv = {kInitScript, action};
    else {
        char line[256];
        std::snprintf(line, sizeof line,
                      "Cannot %s the background service: systemd is not running here and %s "
                      "does not exist",
                      action, kInitScript);
        LOGWARN(line);
        return false;
    }
    if (geteuid() != 0) {
        if (access(kRootRunner, X_OK) != 0) {
            LOGWARN("Cannot run the service script as root: pkexec is not installed");
            return false;
        }
        argv.insert(argv.begin(), kRootRunner);
    }
    if (RunAndWait(argv))
        return true;
    std::string command;
    for (const std::string &a : argv)
        command += " " + a;
    LOGWARN(("Service script failed:" + command).c_str());
    return false;
}
