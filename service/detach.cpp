// Detaching the background service from the terminal that started it.
#include "service/detach.h"

#include "service/process_start.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <time.h>
#include <unistd.h>

namespace
{
long NowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

// The child changes to "/", so a relative VELA_ROOT would then name another
// folder; it is made absolute while the start folder is still known.
void MakeRootAbsolute()
{
    const char *root = getenv("VELA_ROOT");
    char cwd[4096];
    if (!root || !*root || root[0] == '/' || !getcwd(cwd, sizeof cwd))
        return;
    std::string absolute = std::string(cwd) + "/" + root;
    setenv("VELA_ROOT", absolute.c_str(), 1);
}

void RedirectStandardFiles()
{
    int null = open("/dev/null", O_RDWR);
    if (null < 0)
        return;
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    if (null > STDERR_FILENO)
        close(null);
}
} // namespace

int VLAwaitStartReport(int fd, int timeoutMs)
{
    static const char kStarted[] = "started";
    char got[sizeof kStarted] = {};
    size_t have = 0;
    long deadline = NowMs() + timeoutMs;
    while (have < sizeof kStarted - 1) {
        long left = deadline - NowMs();
        if (left <= 0)
            return 1;
        pollfd p{fd, POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return 1; // the time ran out, or the pipe cannot be polled
        ssize_t n = read(fd, got + have, sizeof kStarted - 1 - have);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 1; // the child ended (or failed) before it reported
        have += static_cast<size_t>(n);
    }
    return std::memcmp(got, kStarted, sizeof kStarted - 1) == 0 ? 0 : 1;
}

int VLStartServiceDetached()
{
    if (geteuid() != 0)
        std::printf("Daemon cannot be started without root permissions.\n");
    std::fflush(nullptr); // the child must not repeat buffered output
    MakeRootAbsolute();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return 1;
    pid_t pid = fork();
    if (pid < 0)
        return 1;
    if (pid > 0) {
        close(fds[1]);
        int status = VLAwaitStartReport(fds[0], kStartReportTimeoutMs);
        close(fds[0]);
        return status;
    }
    close(fds[0]);
    setsid();
    if (chdir("/") != 0)
        return 1;
    RedirectStandardFiles();
    VLSetRunningAsService();
    return VLRunService(fds[1], false);
}
