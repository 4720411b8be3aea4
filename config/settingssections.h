// The process-wide caches of the global settings sections: one file per
// section ("SIP" is the file "sip") in a folder, shared by all threads.
#pragma once

#include "config/folders.h"
#include "config/settingsfile.h"

#include "platform/lock.h"

#include <list>
#include <string>

class LSettingsSectionList
{
  public:
    // The folder is looked up at every access, so it follows VELA_ROOT and
    // HOME as they are when the settings are used, not when this object is
    // built (before main).
    explicit LSettingsSectionList(LFolder folder) : folderKind(folder) {}
    LSettingsSectionList(const LSettingsSectionList &) = delete;
    LSettingsSectionList &operator=(const LSettingsSectionList &) = delete;

    const char *GetString(const char *section, const char *key, const char *def, char *out);
    bool GetBool(const char *section, const char *key, bool def);
    int GetInt(const char *section, const char *key, int def);
    // Several values of one section with one check of its file.
    void GetInts(const char *section, const LSettingsIntKey *keys, int *out, int count);
    bool SetString(const char *section, const char *key, const char *value);
    bool SetBool(const char *section, const char *key, bool value);
    bool SetInt(const char *section, const char *key, int value);
    // Deletes the key only when the section was already used in this process.
    bool DeleteItem(const char *section, const char *key);

  private:
    struct Item {
        std::string section; // as first asked for
        LSettingsFile file;
    };
    // The item of section, created when create is set; null when the section
    // is refused or absent. Called with the lock held.
    LSettingsFile *Find(const char *section, bool create);

    LFolder folderKind;
    char folder[LPathSize] = "";
    std::list<Item> items;
    LLockObject lock;
};

// Everything the exchange and the service keep: the shared data folder.
extern LSettingsSectionList LLocalSettings;
// The desktop window's per-user choices: the user data folder.
extern LSettingsSectionList LUserSettings;

const char *LSettingGetString(const char *section, const char *key, const char *def, char *out);
bool LSettingGetBool(const char *section, const char *key, bool def);
int LSettingGetInt(const char *section, const char *key, int def);
void LSettingGetInts(const char *section, const LSettingsIntKey *keys, int *out, int count);
bool LSettingSetString(const char *section, const char *key, const char *value);
bool LSettingSetBool(const char *section, const char *key, bool value);
bool LSettingSetInt(const char *section, const char *key, int value);
const char *LSettingGetPassword(const char *section, const char *key, const char *def, char *out);
bool LSettingSetPassword(const char *section, const char *key, const char *value);
bool LSettingDeleteItem(const char *section, const char *key);

const char *LUserSettingGetString(const char *section, const char *key, const char *def, char *out);
bool LUserSettingGetBool(const char *section, const char *key, bool def);
int LUserSettingGetInt(const char *section, const char *key, int def);
bool LUserSettingSetString(const char *section, const char *key, const char *value);
bool LUserSettingSetBool(const char *section, const char *key, bool value);
bool LUserSettingSetInt(const char *section, const char *key, int value);
bool LUserSettingDeleteItem(const char *section, const char *key);
