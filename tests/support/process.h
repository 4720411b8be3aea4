// Child processes, waits and ports for interop tests. Every wait has a
// deadline and watches for the awaited event itself (output, a file's text,
// process exit); nothing sleeps a fixed time and hopes.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vtest
{
int64_t MonotonicMs();

// A program started with extra environment; its standard output and error
// are collected together and can be waited on.
class ChildProcess
{
  public:
    ChildProcess() = default;
    ~ChildProcess(); // a child still running is killed (SIGKILL) and reaped
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // argv[0] is the program path. env entries "NAME=value" set or replace a
    // variable, a bare "NAME" removes it. cwd empty: the caller's folder.
    bool Start(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
               const std::string &cwd = "");

    pid_t Pid() const { return mPid; }
    bool Running() const { return mPid > 0 && !mExited; }

    // Waits until text occurs in the output; false when timeoutMs passed or
    // the output ended without it.
    bool WaitForOutput(const std::string &text, int timeoutMs);
    // Everything read so far (reads what is ready without waiting).
    const std::string &Output();

    // Waits for the exit; status as waitpid gives it.
    bool WaitExit(int timeoutMs, int *status = nullptr);
    // Sends sig by PID and waits for the exit.
    bool Stop(int sig, int timeoutMs, int *status = nullptr);

  private:
    bool ReadOutput(int waitMs);

    pid_t mPid = -1;
    int mOutputFd = -1;
    bool mExited = false;
    int mStatus = 0;
    std::string mOutput;
};

// Waits until the file exists and contains text; contents receives it.
bool WaitForFileText(const std::string &path, const std::string &text, int timeoutMs,
                     std::string *contents = nullptr);
std::string ReadFile(const std::string &path);

// For processes that are not our children (a detached service): true once
// the PID is gone or a zombie.
bool ProcessAlive(pid_t pid);
bool WaitForProcessGone(pid_t pid, int timeoutMs);

// A port of 127.0.0.1 that was free a moment ago, outside the kernel's range
// for client sockets.
int FreeUdpPort();
int FreeTcpPort();
// A socket of type (SOCK_STREAM, SOCK_DGRAM) bound to a free port of
// 127.0.0.1, which port receives; -1 when that fails.
int BoundLoopbackSocket(int type, int &port);

// A fresh folder under /tmp, removed with its contents on destruction.
class TempDir
{
  public:
    explicit TempDir(const char *prefix = "vela-test");
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &Path() const { return mPath; }

  private:
    std::string mPath;
};
} // namespace vtest
