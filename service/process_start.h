// Process start-up: picks the role from the first argument and the display,
// and runs the background service, in the foreground or detached.
#pragma once

// Exit status for the parent of a detached service: 0 once the child
// reported "started", 1 when the pipe ended first or the time ran out.
constexpr int kStartReportTimeoutMs = 30000;

// The whole program: returns the process exit status.
int VLMain(int argc, char **argv);

// True in the process that runs as the background service.
bool VLIsRunningAsService();

// Reads the child's start report from fd until "started" arrived (0), the
// pipe ended or failed, or timeoutMs passed (1).
int VLAwaitStartReport(int fd, int timeoutMs);

// Builds the service engine, starts it, reports "started" on reportFd (when
// not negative, then closes it) and serves until SIGTERM or SIGINT.
// Returns the exit status.
int VLRunService(int reportFd, bool foreground);
