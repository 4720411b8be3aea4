#include "config/settingsfile.h"

#include "config/settingslock.h"
#include "config/settingspath.h"
#include "platform/log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

void CopyOut(char *out, const char *text)
{
    size_t n = strnlen(text, LSettingsTextMax);
    memmove(out, text, n);
    out[n] = 0;
}

bool WriteAll(int fd, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += (size_t)n;
    }
    return true;
}

} // namespace

LSettingsFile::LSettingsFile()
{
    path[0] = 0;
}

LSettingsFile::LSettingsFile(const char *p)
{
    path[0] = 0;
    ChangeFilePath(p);
}

LSettingsFile::LSettingsFile(const LSettingsFile &other)
{
    path[0] = 0;
    *this = other;
}

LSettingsFile &LSettingsFile::operator=(const LSettingsFile &other)
{
    if (this == &other)
        return *this;
    ChangeFilePath(other.path);
    if (other.snapshot) {
        entries = other.entries;
        cached = other.cached;
        checked = other.checked;
        missing = other.missing;
        snapshot = true;
    }
    return *this;
}

void LSettingsFile::ChangeFilePath(const char *p)
{
    size_t n = strnlen(p, LPathSize - 1);
    memmove(path, p, n);
    path[n] = 0;
    ClearCache();
}

void LSettingsFile::ClearCache()
{
    entries.clear();
    cached = Stamp();
    checked = false;
    missing = false;
}

LSettingsFile::Stamp LSettingsFile::StampOf(const struct stat &st)
{
    Stamp s;
    s.mtime = st.st_mtim;
    s.size = st.st_size;
    s.inode = st.st_ino;
    return s;
}

void LSettingsFile::ReloadIfChanged(bool force)
{
    struct stat st;
    if (!IsValid() || (snapshot && checked && !force))
        return;
    checked = true;
    missing = false;
    // Nothing loaded yet: the open and the load's fstat tell all that a stat
    // would, so a record read once per request costs no stat of its own.
    if (cached.inode == 0) {
        int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            missing = errno == ENOENT;
            return;
        }
        Load(fd);
        close(fd);
        return;
    }
    if (stat(path, &st) != 0) {
        // A deleted file has no values any more; keeping the old cache would
        // let the next write bring deleted keys back.
        if (errno == ENOENT) {
            ClearCache();
            checked = true;
            missing = true;
        }
        return;
    }
    if (StampOf(st) == cached)
        return;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    Load(fd);
    close(fd);
}

bool LSettingsFile::Load(int fd)
{
    struct stat st;
    // A folder in a record's place is no settings file (and reading it
    // would only fail).
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    std::string text;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            LOGERRORF("Cannot read settings file %s: %s", path, strerror(errno));
            return false;
        }
        if (n == 0)
            break;
        text.append(buffer, (size_t)n);
    }
    entries = LSettingsParse(text.data(), text.size());
    cached = StampOf(st);
    return true;
}

bool LSettingsFile::Save(const LSettingsEntries &newEntries)
{
    // The temporary name contains "..", which no record key may, so a
    // leftover from a crash is never listed as a record.
    char temp[LPathSize];
    if (snprintf(temp, sizeof temp, "%s..new", path) >= (int)sizeof temp) {
        LOGERRORF("Settings path too long for saving: %s", path);
        return false;
    }
    int fd = open(temp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0640);
    if (fd < 0) {
        LOGERRORF("Cannot write settings file %s: %s", temp, strerror(errno));
        return false;
    }
    struct stat st;
    std::string text = LSettingsCompose(newEntries);
    // Without the fsync a power cut after the rename could leave an empty
    // file in place of the record; soft state may take that risk, since its
    // owner stores it again (see IsSoftState).
    bool ok = WriteAll(fd, text) && (IsSoftState() || fsync(fd) == 0) && fstat(fd, &st) == 0;
    int error = errno;
    ok = close(fd) == 0 && ok;
    if (ok && rename(temp, path) != 0) {
        error = errno;
        ok = false;
    }
    if (!ok) {
        unlink(temp);
        LOGERRORF("Cannot save settings file %s: %s", path, strerror(error));
        return false;
    }
    // The cache holds what any reader of the file gets (a value written as
    // "=x" reads as "x"), not what was asked for.
    entries = LSettingsParse(text.data(), text.size());
    cached = StampOf(st);
    return true;
}

const LSettingsEntry *LSettingsFile::Find(const std::string &key) const
{
    for (const LSettingsEntry &e : entries)
        if (e.key == key)
            return &e;
    return nullptr;
}

const char *LSettingsFile::GetString(const char *key, const char *def, char *out)
{
    ReloadIfChanged();
    const LSettingsEntry *e = Find(LSettingsKey(key));
    CopyOut(out, e ? e->value.c_str() : (def ? def : ""));
    return out;
}

bool LSettingsFile::TestFieldExists(const char *key)
{
    ReloadIfChanged();
    for (const LSettingsEntry &e : entries)
        if (strcasecmp(e.key.c_str(), key) == 0)
            return true;
    return false;
}

bool LSettingsFile::SetString(const char *key, const char *value)
{
    LSettingsPair pair{key, value};
    return SetStrings(&pair, 1);
}

bool LSettingsFile::Apply(LSettingsEntries &changed, const std::string &key, const char *value)
{
    auto it = changed.begin();
    while (it != changed.end() && it->key != key)
        ++it;
    if (it == changed.end()) {
        if (!value)
            return false;
        changed.push_back({key, LSettingsValue(value)});
    } else if (!value) {
        changed.erase(it);
    } else {
        std::string v = LSettingsValue(value);
        if (v == it->value)
            return false;
        it->value = v;
    }
    return true;
}

namespace
{
thread_local unsigned tFailedWrites = 0;
}

unsigned LSettingsFailedWrites()
{
    return tFailedWrites;
}

void LSettingsCountFailedWrite()
{
    ++tFailedWrites;
}

bool LSettingsFile::SetStrings(const LSettingsPair *pairs, int count)
{
    if (Store(pairs, count))
        return true;
    LSettingsCountFailedWrite();
    return false;
}

bool LSettingsFile::Store(const LSettingsPair *pairs, int count)
{
    std::vector<std::string> keys;
    for (int i = 0; i < count; ++i) {
        keys.push_back(LSettingsKey(pairs[i].key));
        if (!IsValid() || !LSettingsIsStorableKey(keys.back())) {
            LOGERRORF("Refused settings key \"%.100s\" for %s", pairs[i].key, path);
            return false;
        }
    }
    if (AlreadyStored(keys, pairs, count))
        return true;
    char folder[LPathSize];
    LSettingsFolderOf(folder, path);
    if (!LCreateFolder(folder))
        return false;
    // Held from the reload to the rename, so a read-modify-write never loses
    // another writer's keys.
    LSettingsFolderLock lock(folder, LSettingsGetWriteBudget());
    if (!lock.IsLocked()) {
        LOGERRORF("Settings file %s not written: lock busy", path);
        return false;
    }
    ReloadIfChanged(true);
    LSettingsEntries changed = entries;
    bool any = false;
    for (int i = 0; i < count; ++i)
        any = Apply(changed, keys[i], pairs[i].value) || any;
    // An unchanged value never rewrites the file.
    return !any || Save(changed);
}

// The file is as this cache last saw it and already holds every value: the
// write would change nothing, so it needs neither the folder nor the writer
// lock. Another writer that changes the file afterwards simply comes after
// this no-op. A file changed since, or missing, takes the locked path.
bool LSettingsFile::AlreadyStored(const std::vector<std::string> &keys, const LSettingsPair *pairs,
                                  int count) const
{
    struct stat st;
    if (cached.inode == 0 || stat(path, &st) != 0 || !(StampOf(st) == cached))
        return false;
    LSettingsEntries probe = entries;
    for (int i = 0; i < count; ++i)
        if (Apply(probe, keys[i], pairs[i].value))
            return false;
    return true;
}

bool LSettingsFile::GetBool(const char *key, bool def)
{
    char value[LPathSize];
    return LFromSettingString(GetString(key, "", value), def);
}

int LSettingsFile::GetInt(const char *key, int def)
{
    char value[LPathSize];
    return LFromSettingString(GetString(key, "", value), def);
}

void LSettingsFile::GetInts(const LSettingsIntKey *keys, int *out, int count)
{
    ReloadIfChanged();
    for (int i = 0; i < count; i++) {
        const LSettingsEntry *e = Find(LSettingsKey(keys[i].key));
        char value[LPathSize];
        CopyOut(value, e ? e->value.c_str() : "");
        out[i] = LFromSettingString(value, keys[i].def);
    }
}

bool LSettingsFile::SetBool(const char *key, bool value)
{
    return SetString(key, LToSettingString(value));
}

bool LSettingsFile::SetInt(const char *key, int value)
{
    char text[16];
    snprintf(text, sizeof text, "%d", value);
    return SetString(key, text);
}
