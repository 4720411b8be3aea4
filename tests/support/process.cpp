#include "process.h"
#include "text.h"
#include "wait.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

namespace vtest
{
namespace
{
std::string NameOf(const std::string &entry)
{
    return entry.substr(0, entry.find('='));
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string> &changes)
{
    std::vector<std::string> merged;
    for (char **e = environ; *e; ++e) {
        std::string name = NameOf(*e);
        bool replaced = false;
        for (const std::string &c : changes)
            replaced = replaced || NameOf(c) == name;
        if (!replaced)
            merged.emplace_back(*e);
    }
    for (const std::string &c : changes)
        if (c.find('=') != std::string::npos)
            merged.push_back(c);
    return merged;
}

std::vector<char *> Pointers(std::vector<std::string> &texts)
{
    std::vector<char *> out;
    for (std::string &t : texts)
        out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

// A socket of type bound to port (0: any) of 127.0.0.1, or -1.
int BindLoopback(int type, int port)
{
    int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons((uint16_t)port);
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        close(fd);
        fd = -1;
    }
    return fd;
}

// Ports from 10000-19999: above the few hundred the exchange's relays take
// from 8000 by default, and outside the kernel's range for sockets bound or
// connected without a port (32768-60999), so no client connection of another
// test takes one between this check and its use. A random start per process,
// then steps through the range, so one process never gets a port twice.
int FreePort(int type)
{
    constexpr int kFirst = 10000, kCount = 10000, kStep = 7919; // prime: visits every port
    static std::atomic<int> next{(int)(std::random_device()() % kCount)};
    for (int tries = 0; tries < 200; ++tries) {
        int port = kFirst + (int)(((int64_t)next.fetch_add(1) * kStep) % kCount);
        if (int fd = BindLoopback(type, port); fd >= 0) {
            close(fd);
            return port;
        }
    }
    int port = -1, fd = BoundLoopbackSocket(type, port);
    if (fd >= 0)
        close(fd);
    return port;
}
} // namespace

int BoundLoopbackSocket(int type, int &port)
{
    int fd = BindLoopback(type, 0);
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (fd >= 0 && getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        close(fd);
        fd = -1;
    }
    port = fd >= 0 ? ntohs(addr.sin_port) : -1;
    return fd;
}

int64_t MonotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000LL;
}

ChildProcess::~ChildProcess()
{
    if (Running()) {
        kill(mPid, SIGKILL);
        WaitExit(5000);
    }
    if (mOutputFd >= 0)
        close(mOutputFd);
}

bool ChildProcess::Start(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                         const std::string &cwd)
{
    int fds[2];
    if (argv.empty() || pipe2(fds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    if (!cwd.empty())
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<std::string> args = argv;
    std::vector<std::string> environment = MergedEnvironment(env);
    std::vector<char *> argp = Pointers(args), envp = Pointers(environment);
    int rc = posix_spawn(&mPid, argv[0].c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    mOutputFd = fds[0];
    mExited = false;
    return rc == 0;
}

bool ChildProcess::ReadOutput(int waitMs)
{
    if (mOutputFd < 0)
        return false;
    pollfd p{mOutputFd, POLLIN, 0};
    if (poll(&p, 1, waitMs) <= 0)
        return true;
    char buf[4096];
    ssize_t n = read(mOutputFd, buf, sizeof buf);
    if (n <= 0) {
        close(mOutputFd); // every writer is gone: the output has ended
        mOutputFd = -1;
        return false;
    }
    mOutput.append(buf, static_cast<size_t>(n));
    return true;
}

bool ChildProcess::WaitForOutput(const std::string &text, int timeoutMs)
{
    int64_t deadline = MonotonicMs() + timeoutMs;
    while (mOutput.find(text) == std::string::npos) {
        int64_t left = deadline - MonotonicMs();
        if (left <= 0 || !ReadOutput(static_cast<int>(left)))
            return mOutput.find(text) != std::string::npos;
    }
    return true;
}

const std::string &ChildProcess::Output()
{
    while (mOutputFd >= 0) {
        size_t before = mOutput.size();
        if (!ReadOutput(0) || mOutput.size() == before)
            break;
    }
    return mOutput;
}

bool ChildProcess::WaitExit(int timeoutMs, int *status)
{
    auto reaped = [this] {
        pid_t r = waitpid(mPid, &mStatus, WNOHANG);
        return r == mPid || (r < 0 && errno != EINTR);
    };
    if (!mExited && !WaitUntil(reaped, timeoutMs))
        return false;
    mExited = true;
    if (status)
        *status = mStatus;
    return true;
}

bool ChildProcess::Stop(int sig, int timeoutMs, int *status)
{
    if (!Running() || kill(mPid, sig) != 0)
        return false;
    return WaitExit(timeoutMs, status);
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

bool WaitForFileText(const std::string &path, const std::string &text, int timeoutMs,
                     std::string *contents)
{
    std::string now;
    bool found = WaitUntil([&] { return Has(now = ReadFile(path), text); }, timeoutMs);
    if (contents)
        *contents = now;
    return found;
}

bool ProcessAlive(pid_t pid)
{
    if (kill(pid, 0) != 0)
        return false;
    // An exited process whose parent has not reaped it yet is gone too.
    std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] != 'Z';
}

bool WaitForProcessGone(pid_t pid, int timeoutMs)
{
    return WaitUntil([pid] { return !ProcessAlive(pid); }, timeoutMs);
}

int FreeUdpPort()
{
    return FreePort(SOCK_DGRAM);
}

int FreeTcpPort()
{
    return FreePort(SOCK_STREAM);
}

TempDir::TempDir(const char *prefix)
{
    std::string templ = std::string("/tmp/") + prefix + "-XXXXXX";
    if (mkdtemp(templ.data()))
        mPath = templ;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    if (!mPath.empty())
        std::filesystem::remove_all(mPath, ignored);
}
} // namespace vtest
