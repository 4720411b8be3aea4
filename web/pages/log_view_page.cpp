#include "logs/log_files.h"
#include "web/pages/log_pages.h"

#include "config/folders.h"
#include "logs/file_append.h"
#include "web/web_frame.h"
#include "web/web_text.h"
#include "web/weblet_form.h"
#include "web/weblet_io.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr int kSendTimeoutMs = 5000;
constexpr int kLockBudgetMs = 1000;
constexpr size_t kPiece = 1024;

const char *ContentType(const char *name)
{
    const char *dot = std::strrchr(name, '.');
    if (dot && WebEqualNoCase(dot, ".txt"))
        return "text/plain";
    if (dot && WebEqualNoCase(dot, ".csv"))
        return "text/csv";
    return "application/octet-stream";
}

// A shared lock lets a writer finish its line first; after the budget the
// file is read anyway, as a log line is never held back for long.
void LockShared(int fd)
{
    for (int waited = 0; waited < kLockBudgetMs; waited += 50) {
        if (flock(fd, LOCK_SH | LOCK_NB) == 0)
            return;
        LLockSleepMs(50);
    }
}

// The size is taken under the shared lock, so it ends after a whole line.
// The lock is let go before the file is sent: log files only grow at their
// end, so those bytes stay as they are, and a writer (the program log on the
// SIP engine's thread, a call's record) must not wait for a slow browser.
int OpenLogFile(const char *name, off_t &size)
{
    char path[LPathSize];
    if (!LLogFilePath(path, name))
        return -1;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat info {
    };
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    LockShared(fd);
    if (fstat(fd, &info) != 0)
        info.st_size = 0;
    flock(fd, LOCK_UN);
    size = info.st_size;
    return fd;
}
} // namespace

void VWLogProp(LWebletForm &form)
{
    if (!WLValidateSession(form))
        return;
    const char *name = form.GetParm("file");
    off_t size = 0;
    int fd = OpenLogFile(name, size);
    if (fd < 0) {
        wfputs(form, "HTTP/1.0 404 Not Found\r\n\r\n");
        return;
    }
    // The length is 64-bit: a trace left on for long passes 2 GiB.
    wfprintf(form, "HTTP/1.0 200 OK\r\nContent-Type: %s\r\nContent-Length: %lld\r\n\r\n",
             ContentType(name), static_cast<long long>(size));
    // Exactly the announced bytes: a file growing meanwhile is not sent
    // beyond its length at the start.
    char buffer[kPiece];
    for (off_t left = size; left > 0;) {
        ssize_t n = read(fd, buffer, left < (off_t)kPiece ? (size_t)left : kPiece);
        if (n <= 0 ||
            !WebletSendAll(form.GetSocket(), buffer, (size_t)n, kSendTimeoutMs, form.GetStop()))
            break;
        left -= n;
    }
    close(fd);
}
