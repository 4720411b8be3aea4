// One settings file of key=value lines with an in-memory cache of its lines.
// Every access re-checks the file (modification time to the nanosecond, size
// and inode) and re-reads it only when it changed, so changes made by other
// processes and objects are seen at the next access.
#pragma once

#include "config/folders.h"
#include "config/settingstext.h"

#include <string>
#include <sys/types.h>
#include <time.h>
#include <vector>

// One key and its new value for LSettingsFile::SetStrings; a null value
// deletes the key.
struct LSettingsPair {
    const char *key;
    const char *value;
};

struct LSettingsIntKey {
    const char *key;
    int def;
};

// Settings writes that failed on the calling thread so far (a full disk, a
// writer lock that stayed busy, a record that could not be made). Work that
// makes many writes for one change, such as a control panel form, compares
// the count before and after instead of checking every write.
unsigned LSettingsFailedWrites();
void LSettingsCountFailedWrite();

class LSettingsFile
{
  public:
    LSettingsFile();
    explicit LSettingsFile(const char *path);
    // Copies take the path only and load their own cache; a copy of a
    // snapshot (KeepSnapshot) is the same snapshot, lines included.
    LSettingsFile(const LSettingsFile &other);
    LSettingsFile &operator=(const LSettingsFile &other);
    virtual ~LSettingsFile() = default;

    // Sets the path (cut at 259 bytes) and clears the cache.
    void ChangeFilePath(const char *path);
    bool IsValid() const { return path[0] != 0; }
    void Invalidate() { ChangeFilePath(""); }
    const char *GetPath() const { return path; }
    // Makes this object a snapshot for the one request or call that holds
    // it: the file is checked at the next read (or was at the last one) and
    // later reads use those lines without checking the file again, so a
    // call reads each record once and sees one version of it. Writes still
    // reload under the writer lock. A change of the file is seen by the next
    // object that reads it, so by the next request or call.
    void KeepSnapshot() { snapshot = true; }
    // Checks the file now (a snapshot loads it for good). False when it is
    // missing; IsLoaded then tells whether a regular file was read.
    bool CheckExists()
    {
        ReloadIfChanged();
        return !missing;
    }
    bool IsLoaded() const { return cached.inode != 0; }

    // Copies the value of key (lower-cased) into out (at least 260 bytes), or
    // def cut to 259 bytes when the key is absent. Returns out.
    const char *GetString(const char *key, const char *def, char *out);
    // Stores value for key; null deletes the key. Rewrites the file only when
    // something changed. False when the key cannot be stored, the writer lock
    // cannot be had or the file cannot be written; file and cache then stay
    // as they were.
    bool SetString(const char *key, const char *value);
    // Stores several keys as one update: one lock, one reload, at most one
    // rewrite of the file. Either all of them are stored or none (a refused
    // key refuses the whole set). A key given twice takes its last value.
    bool SetStrings(const LSettingsPair *pairs, int count);
    bool DeleteField(const char *key) { return SetString(key, nullptr); }
    // Whether an entry with that key exists, compared without case.
    bool TestFieldExists(const char *key);

    bool GetBool(const char *key, bool def);
    int GetInt(const char *key, int def);
    // Several whole numbers (out[i] for keys[i]) after one check of the file.
    void GetInts(const LSettingsIntKey *keys, int *out, int count);
    bool SetBool(const char *key, bool value);
    bool SetInt(const char *key, int value);
    // Passwords are kept as plain strings, readable by the owner only.
    const char *GetPassword(const char *key, const char *def, char *out)
    {
        return GetString(key, def, out);
    }
    bool SetPassword(const char *key, const char *value) { return SetString(key, value); }

  protected:
    // Whether the file holds only soft state that its owner re-sends anyway
    // (registrations, RFC 3261 section 10.2.1), so a save need not wait for
    // the disk. The save stays atomic either way: a crashed process leaves
    // the old or the new text.
    virtual bool IsSoftState() const { return false; }
    // Re-reads the file when its identity changed. A missing or unreadable
    // file keeps the cache as it is. A snapshot checks only once unless
    // forced (writers).
    void ReloadIfChanged(bool force = false);
    // Loads the open descriptor's content into the cache.
    bool Load(int fd);
    // Replaces the file by entries (temporary file, fsync, rename) and makes
    // them the cache on success.
    bool Save(const LSettingsEntries &entries);
    void ClearCache();

  private:
    struct Stamp {
        timespec mtime{0, 0};
        off_t size = 0;
        ino_t inode = 0;
        bool operator==(const Stamp &o) const
        {
            return mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
                   size == o.size && inode == o.inode;
        }
    };
    static Stamp StampOf(const struct stat &st);
    const LSettingsEntry *Find(const std::string &key) const;
    bool AlreadyStored(const std::vector<std::string> &keys, const LSettingsPair *pairs,
                       int count) const;
    bool Store(const LSettingsPair *pairs, int count);
    // Applies one pair to entries; true when that changed them.
    static bool Apply(LSettingsEntries &entries, const std::string &key, const char *value);

    char path[LPathSize];
    LSettingsEntries entries;
    Stamp cached;
    bool snapshot = false;
    bool checked = false; // the file was checked since the last path change
    bool missing = false; // the last check found no file
};
