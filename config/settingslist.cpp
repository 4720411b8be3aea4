#include "config/settingslist.h"

#include "config/settingspath.h"
#include "platform/log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Gives up on numbered creation after this many numbers: a list that full is
// broken, not busy.
const int kMaxNumberedRecords = 10000;

} // namespace

bool LSettingsFolderIterator::Open(const LSettingsRecord &list)
{
    Close();
    if (!list.IsValid() || !LSettingGetSubListPath(folder, list.GetPath()))
        return false;
    dir = opendir(folder);
    return dir != nullptr;
}

void LSettingsFolderIterator::Close()
{
    if (dir)
        closedir(dir);
    dir = nullptr;
}

const char *LSettingsFolderIterator::NextKey()
{
    while (dir) {
        dirent *e = readdir(dir);
        if (!e)
            break;
        // The entry's type from the folder read spares a stat per entry;
        // a link (followed, as before) or a file system that does not say
        // is asked.
        struct stat st;
        bool folderEntry = e->d_type == DT_DIR;
        if (e->d_type != DT_DIR && e->d_type != DT_REG) {
            if (fstatat(dirfd(dir), e->d_name, &st, 0) != 0)
                continue;
            folderEntry = S_ISDIR(st.st_mode);
        }
        size_t n = strlen(e->d_name);
        if (!folderEntry) {
            // Lock and temporary files contain "..", which no key may.
            if (!LSettingsIsValidRecordKey(e->d_name))
                continue;
            strcpy(key, e->d_name);
            return key;
        }
        if (n < 2 || e->d_name[n - 1] != '_')
            continue;
        memcpy(key, e->d_name, n - 1);
        key[n - 1] = 0;
        if (LSettingsIsValidRecordKey(key) && fstatat(dirfd(dir), key, &st, 0) != 0)
            return key;
    }
    Close();
    return nullptr;
}

namespace
{
bool GiveUp(LSettingsRecord &rec, const char *folder, const char *key)
{
    LOGERRORF("Cannot create record %s in %s: %s", key, folder, strerror(errno));
    LSettingsCountFailedWrite();
    rec.Invalidate();
    return false;
}
} // namespace

bool LSettingsCreateNumbered(const LSettingsRecord &list, LSettingsRecord &rec, int *fd)
{
    char key[16] = "", folder[LPathSize] = "", sub[LPathSize];
    // A folder made by this call holds no leftovers of earlier records.
    bool made = false;
    if (!list.IsValid() || !LSettingGetSubListPath(folder, list.GetPath()))
        return false;
    if (!LCreateFolder(folder, &made))
        return GiveUp(rec, folder, key);
    int refolded = 0;
    for (int n = 1; n <= kMaxNumberedRecords; ++n) {
        snprintf(key, sizeof key, "%d", n);
        // A number whose sub-record folder remains is still a record: do not
        // hand its leftovers to a new one.
        struct stat st;
        if (!made && snprintf(sub, sizeof sub, "%s/%s_", folder, key) < (int)sizeof sub &&
            stat(sub, &st) == 0)
            continue;
        if (!list.OpenSubRecord(key, rec))
            return false;
        int f = open(rec.GetPath(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0640);
        if (f >= 0) {
            if (fd)
                *fd = f;
            else
                close(f);
            return true;
        }
        // An empty list folder removed by a concurrent delete is made again.
        if (errno == ENOENT && refolded++ < 3 && LCreateFolder(folder, &made)) {
            --n;
            continue;
        }
        if (errno != EEXIST)
            return GiveUp(rec, folder, key);
        made = false; // someone else writes here too
    }
    LOGERRORF("No free record number in %s", folder);
    LSettingsCountFailedWrite();
    rec.Invalidate();
    return false;
}
