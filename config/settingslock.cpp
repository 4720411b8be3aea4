#include "config/settingslock.h"

#include "config/folders.h"
#include "platform/log.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

const char *const LSettingsLockFileName = "..lock";

namespace
{

std::atomic<int> gWriteBudgetMs{10000};

long long NowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

void SleepMs(int ms)
{
    timespec ts{ms / 1000, (long)(ms % 1000) * 1000000};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// True when fd is still the file the path names: a folder clean-up may have
// unlinked the lock file between our open and our flock.
bool IsCurrent(int fd, const char *path)
{
    struct stat held, named;
    return fstat(fd, &held) == 0 && stat(path, &named) == 0 && held.st_ino == named.st_ino &&
           held.st_dev == named.st_dev;
}

} // namespace

bool flocktimed(int fd, int operation, int budgetMs)
{
    long long deadline = NowMs() + budgetMs;
    int pause = 1;
    for (;;) {
        if (flock(fd, operation | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        long long left = deadline - NowMs();
        if (left <= 0)
            return false;
        SleepMs(pause < left ? pause : (int)left);
        if (pause < 64)
            pause *= 2;
    }
}

LSettingsFolderLock::LSettingsFolderLock(const char *folder, int budgetMs)
{
    char path[LPathSize];
    if (!LFilePathCat(path, folder, LSettingsLockFileName))
        return;
    long long deadline = NowMs() + budgetMs;
    do {
        int f = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0640);
        if (f < 0) {
            LOGERRORF("Cannot open settings lock %s: %s", path, strerror(errno));
            return;
        }
        long long left = deadline - NowMs();
        if (flocktimed(f, LOCK_EX, left > 0 ? (int)left : 0) && IsCurrent(f, path)) {
            fd = f;
            return;
        }
        close(f);
    } while (NowMs() < deadline);
    LOGERRORF("Settings lock %s not obtained within %d ms", path, budgetMs);
}

LSettingsFolderLock::~LSettingsFolderLock()
{
    if (fd >= 0)
        close(fd);
}

int LSettingsGetWriteBudget()
{
    return gWriteBudgetMs.load();
}

void LSettingsSetWriteBudget(int budgetMs)
{
    gWriteBudgetMs.store(budgetMs);
}
