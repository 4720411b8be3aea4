#include "config/pbx_list.h"

#include "config/settingslock.h"
#include "config/settingspath.h"
#include "platform/log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>

namespace
{
bool IsFile(const char *path)
{
    struct stat st;
    return lstat(path, &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsFolder(const char *path)
{
    struct stat st;
    return lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int RemoveEntry(const char *path, const struct stat *, int, struct FTW *)
{
    if (remove(path) != 0 && errno != ENOENT)
        LOGERRORF("Cannot delete %s: %s", path, strerror(errno));
    return 0;
}

// Removes folder and everything below it without following symbolic links.
bool RemoveTree(const char *folder)
{
    if (!IsFolder(folder))
        return false;
    nftw(folder, RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    return !IsFolder(folder);
}

bool MoveNoReplace(const char *from, const char *to)
{
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return true;
    LOGERRORF("Cannot rename %s to %s: %s", from, to, strerror(errno));
    return false;
}
} // namespace

bool LPBXRecordExists(const LSettingsRecord &rec)
{
    char sub[LPathSize];
    if (!rec.IsValid())
        return false;
    return IsFile(rec.GetPath()) || (LSettingGetSubListPath(sub, rec.GetPath()) && IsFolder(sub));
}

bool LPBXDeleteRecordTree(const LSettingsRecord &rec)
{
    if (!rec.IsValid())
        return false;
    // The file goes first: whoever checks that the record exists before
    // adding to its sub-tree (a registration) then sees it gone.
    LSettingsRecord file(rec);
    bool deleted = file.DeleteRecord();
    char sub[LPathSize];
    if (LSettingGetSubListPath(sub, rec.GetPath()) && RemoveTree(sub))
        deleted = true;
    return deleted;
}

bool LPBXRenameRecord(const LSettingsRecord &list, const char *oldKey, const char *newKey)
{
    LSettingsRecord from, to;
    if (!list.OpenSubRecord(oldKey, from) || !list.OpenSubRecord(newKey, to))
        return false;
    if (!LPBXRecordExists(from))
        return false;
    if (strcmp(from.GetPath(), to.GetPath()) == 0)
        return true;
    char folder[LPathSize], fromSub[LPathSize], toSub[LPathSize];
    LSettingsFolderOf(folder, from.GetPath());
    if (!LSettingGetSubListPath(fromSub, from.GetPath()) ||
        !LSettingGetSubListPath(toSub, to.GetPath()))
        return false;
    // Under the writer lock of the list folder, so that no save of the record
    // recreates the old name halfway through the move.
    LSettingsFolderLock lock(folder, LSettingsGetWriteBudget());
    if (!lock.IsLocked() || LPBXRecordExists(to))
        return false;
    bool movedFile = false;
    if (IsFile(from.GetPath())) {
        if (!MoveNoReplace(from.GetPath(), to.GetPath()))
            return false;
        movedFile = true;
    }
    if (IsFolder(fromSub) && !MoveNoReplace(fromSub, toSub)) {
        if (movedFile)
            MoveNoReplace(to.GetPath(), from.GetPath());
        return false;
    }
    return true;
}
