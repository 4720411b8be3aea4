#include "config/settingsrecord.h"

#include "config/settingslock.h"
#include "config/settingspath.h"
#include "platform/log.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

LSettingsRecord::LSettingsRecord(const char *section, const char *key)
{
    char shared[LPathSize], sectionPath[LPathSize], p[LPathSize];
    LSettingsGetSharedFolder(shared);
    if (LSettingSectionFile(sectionPath, shared, section) &&
        LSettingSubListSection(p, sectionPath, key))
        ChangeFilePath(p);
}

LSettingsRecord::LSettingsRecord(const LSettingsRecord &parent, const char *key)
{
    parent.OpenSubRecord(key, *this);
}

const char *LSettingsRecord::GetPrimaryKey(char *out) const
{
    const char *slash = strrchr(GetPath(), '/');
    strcpy(out, slash ? slash + 1 : GetPath());
    return out;
}

bool LSettingsRecord::SetPrimaryKey(const char *key)
{
    char folder[LPathSize], p[LPathSize];
    LSettingsFolderOf(folder, GetPath());
    if (!IsValid() || !LSettingsIsValidRecordKey(key))
        return false;
    if (!LSettingSectionFile(p, folder, key))
        return false;
    ChangeFilePath(p);
    return true;
}

bool LSettingsRecord::OpenSubRecord(const char *key, LSettingsRecord &rec) const
{
    char p[LPathSize];
    if (!IsValid() || !LSettingSubListSection(p, GetPath(), key)) {
        rec.Invalidate();
        return false;
    }
    rec.ChangeFilePath(p);
    return true;
}

bool LSettingsRecord::CreateSubRecord(const char *key, LSettingsRecord &rec) const
{
    char folder[LPathSize];
    if (!OpenSubRecord(key, rec) || !LSettingGetSubListPath(folder, GetPath()) ||
        !LCreateFolder(folder))
        return false;
    int fd = open(rec.GetPath(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0640);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

bool LSettingsRecord::TestSubRecordExists(const char *key) const
{
    LSettingsRecord rec;
    struct stat st;
    return OpenSubRecord(key, rec) && stat(rec.GetPath(), &st) == 0;
}

bool LSettingsRecord::DeleteSubRecord(const char *key) const
{
    LSettingsRecord rec;
    if (!OpenSubRecord(key, rec))
        return false;
    bool deleted = rec.DeleteRecord();
    char folder[LPathSize];
    if (LSettingGetSubListPath(folder, rec.GetPath()))
        LSettingsRemoveFolderIfEmpty(folder);
    return deleted;
}

bool LSettingsRecord::DeleteRecord()
{
    if (!IsValid())
        return false;
    struct stat st;
    if (stat(GetPath(), &st) != 0)
        return false;
    char folder[LPathSize];
    LSettingsFolderOf(folder, GetPath());
    // Under the writer lock, so a save in progress is not undone by the
    // delete nor the delete by the save's rename.
    LSettingsFolderLock lock(folder, LSettingsGetWriteBudget());
    if (unlink(GetPath()) != 0) {
        if (errno != ENOENT) {
            LOGERRORF("Cannot delete settings record %s: %s", GetPath(), strerror(errno));
            LSettingsCountFailedWrite();
        }
        return false;
    }
    ClearCache();
    return true;
}

bool LSettingsRemoveFolderIfEmpty(const char *folder)
{
    DIR *dir = opendir(folder);
    if (!dir)
        return false;
    bool onlyOwnFiles = true;
    while (dirent *e = readdir(dir)) {
        // "." and ".." themselves contain no "..": both are covered.
        if (strcmp(e->d_name, ".") != 0 && !strstr(e->d_name, "..")) {
            onlyOwnFiles = false;
            break;
        }
    }
    if (onlyOwnFiles) {
        rewinddir(dir);
        while (dirent *e = readdir(dir))
            if (strstr(e->d_name, "..") && strcmp(e->d_name, "..") != 0)
                unlinkat(dirfd(dir), e->d_name, 0);
    }
    closedir(dir);
    return onlyOwnFiles && rmdir(folder) == 0;
}
