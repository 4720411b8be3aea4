#include "logs/log_cleanup.h"

#include "config/folders.h"
#include "config/pbx_global_settings.h"
#include "logs/log_files.h"
#include "platform/log.h"

#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int LLogDeleteOlderThan(const char *folder, int days, time_t now)
{
    if (days <= 0 || !folder || !folder[0])
        return 0;
    DIR *dir = opendir(folder);
    if (!dir)
        return 0;
    time_t limit = now - static_cast<time_t>(days) * 86400;
    int deleted = 0;
    while (dirent *entry = readdir(dir)) {
        struct stat info {
        };
        // Only plain files: a folder or link someone put here is not a log.
        if (fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || info.st_mtime >= limit)
            continue;
        if (unlinkat(dirfd(dir), entry->d_name, 0) == 0)
            deleted++;
        else
            LOGWARNTEXT("Cannot delete old log file ", entry->d_name);
    }
    closedir(dir);
    return deleted;
}

int LLogCleanUp()
{
    int days = LPBXSettings::LogsAutoDeleteDays.Get();
    char folder[LPathSize];
    int deleted = LLogDeleteOlderThan(LLogFolderPath(folder), days, time(nullptr));
    if (deleted > 0)
        LOGINFOF("Deleted %d log files older than %d days", deleted, days);
    return deleted;
}
