// A record of the settings tree: a settings file that can own sub-records,
// the files of the folder record path + "_". Entities derive from it.
#pragma once

#include "config/settingsfile.h"

class LSettingsRecord : public LSettingsFile
{
  public:
    LSettingsRecord() = default;
    // Shared data folder / section + "_" / key, both lower-cased. An invalid
    // section or key leaves the record invalid (IsValid() false).
    LSettingsRecord(const char *section, const char *key);
    // parent path + "_" / key.
    LSettingsRecord(const LSettingsRecord &parent, const char *key);
    LSettingsRecord(const LSettingsRecord &other) = default;
    LSettingsRecord &operator=(const LSettingsRecord &other) = default;

    // The file-name part of the path (the key as stored, lower case).
    const char *GetPrimaryKey(char *out) const;
    // Points the record at key in the same folder; the cache is cleared and
    // no file is moved or created. False (record unchanged) for a bad key.
    bool SetPrimaryKey(const char *key);

    // rec gets the path of sub-record key; nothing is read or created. False
    // (rec invalid) when the key is refused.
    bool OpenSubRecord(const char *key, LSettingsRecord &rec) const;
    // As OpenSubRecord, then creates the file exclusively. True only when
    // this call created it.
    bool CreateSubRecord(const char *key, LSettingsRecord &rec) const;
    bool TestSubRecordExists(const char *key) const;
    // Deletes the sub-record's file, then its own sub-record folder if that
    // holds no records. A record with sub-records thus stays listed.
    bool DeleteSubRecord(const char *key) const;
    // Deletes the record's own file.
    bool DeleteRecord();
};

// Removes folder when it holds nothing but the tree's lock and temporary
// files. False when it is not empty (or cannot be removed).
bool LSettingsRemoveFolderIfEmpty(const char *folder);
