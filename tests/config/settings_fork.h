// Child processes for the multi-process settings tests: a fork whose child
// reports one int through a pipe.
#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

// Forks a child that runs body(arg) and writes its result to the pipe whose
// read end is returned in readEnd. -1 when the pipe cannot be made.
inline pid_t ForkReporting(int *readEnd, int (*body)(int), int arg)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int result = body(arg);
        ssize_t n = write(fds[1], &result, sizeof result);
        _exit(n == sizeof result ? 0 : 1);
    }
    close(fds[1]);
    *readEnd = fds[0];
    return pid;
}

// Runs body(arg) in a child and returns its result; -1 when the child could
// not be made or did not report.
inline int RunForked(int (*body)(int), int arg)
{
    int fd = -1, result = -1, status = 0;
    pid_t pid = ForkReporting(&fd, body, arg);
    if (pid <= 0)
        return -1;
    if (read(fd, &result, sizeof result) != sizeof result)
        result = -1;
    close(fd);
    waitpid(pid, &status, 0);
    return result;
}
