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

bool WriteAll(int fd, const char *data, size_t length)
{
    while (length > 0) {
        ssize_t n = write(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
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
    close(fd);
    return written;
}

bool LAppendToOpenFile(int fd, const char *data, size_t length, LLockSleepFunc sleeper)
{
    // O_APPEND places every write at the end, also after another writer's.
    bool locked = LLockFileExclusive(fd, sleeper);
    bool written = WriteAll(fd, data, length);
    if (locked)
        flock(fd, LOCK_UN);
    return written;
}
