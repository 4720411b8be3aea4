#include "logs/file_append.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

void LLockSleepMs(int ms)
{
    timespec left{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

namespace
{
// One non-blocking attempt; true when the lock is held, false when another
// holder has it (or the descriptor cannot be locked at all).
bool TryLock(int fd)
{
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

// Bytes written before a failure are counted in written.
bool WriteAll(int fd, const char *data, size_t length, size_t &written)
{
    while (written < length) {
        ssize_t n = write(fd, data + written, length - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC;
        if (n <= 0)
            return false;
        written += static_cast<size_t>(n);
    }
    return true;
}

// A full disk takes the first part of a line and refuses the rest; the next
// line would then continue the torn one and corrupt both. Under our lock
// nobody else wrote after it, so the file's end is cut back to where the
// line began.
void CutTornLine(int fd, size_t written)
{
    off_t end = lseek(fd, 0, SEEK_END);
    if (end >= static_cast<off_t>(written))
        (void)!ftruncate(fd, end - static_cast<off_t>(written));
}
} // namespace

bool LLockFileExclusive(int fd, LLockSleepFunc sleeper)
{
    for (int sleep = kLockFirstSleepMs;; sleep *= 2) {
        if (TryLock(fd))
            return true;
        if (sleep >= kLockBudgetMs)
            return false;
        sleeper(sleep);
    }
}

bool LAppendToFile(const char *path, const char *data, size_t length, LLockSleepFunc sleeper)
{
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool written = LAppendToOpenFile(fd, data, length, sleeper);
    int saved = errno;
    close(fd);
    errno = saved;
    return written;
}

bool LAppendToOpenFile(int fd, const char *data, size_t length, LLockSleepFunc sleeper)
{
    // O_APPEND places every write at the end, also after another writer's.
    bool locked = LLockFileExclusive(fd, sleeper);
    size_t done = 0;
    bool written = WriteAll(fd, data, length, done);
    int saved = errno;
    if (!written && locked && done > 0)
        CutTornLine(fd, done);
    if (locked)
        flock(fd, LOCK_UN);
    errno = saved;
    return written;
}
