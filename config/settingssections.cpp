#include "config/settingssections.h"

#include "config/settingspath.h"

#include <cstring>
#include <strings.h>

LSettingsSectionList LLocalSettings(LFolder::SharedData);
LSettingsSectionList LUserSettings(LFolder::UserData);

LSettingsFile *LSettingsSectionList::Find(const char *section, bool create)
{
    char now[LPathSize];
    LGetFolder(folderKind, now);
    if (strcmp(now, folder) != 0) {
        // The root moved (tests, or a changed environment): the cached files
        // belong to the old tree.
        items.clear();
        strcpy(folder, now);
    }
    for (Item &item : items)
        if (strcasecmp(item.section.c_str(), section) == 0)
            return &item.file;
    char path[LPathSize];
    if (!create || !LSettingSectionFile(path, folder, section))
        return nullptr;
    items.push_front(Item{section, LSettingsFile(path)});
    return &items.front().file;
}

const char *LSettingsSectionList::GetString(const char *section, const char *key, const char *def,
                                            char *out)
{
    LLockScope hold(lock);
    LSettingsFile *file = Find(section, true);
    if (file)
        return file->GetString(key, def, out);
    LSettingsFile().GetString(key, def, out);
    return out;
}

bool LSettingsSectionList::GetBool(const char *section, const char *key, bool def)
{
    char value[LPathSize];
    return LFromSettingString(GetString(section, key, "", value), def);
}

int LSettingsSectionList::GetInt(const char *section, const char *key, int def)
{
    char value[LPathSize];
    return LFromSettingString(GetString(section, key, "", value), def);
}

void LSettingsSectionList::GetInts(const char *section, const LSettingsIntKey *keys, int *out,
                                   int count)
{
    LLockScope hold(lock);
    LSettingsFile none;
    LSettingsFile *file = Find(section, true);
    (file ? file : &none)->GetInts(keys, out, count);
}

bool LSettingsSectionList::SetString(const char *section, const char *key, const char *value)
{
    LLockScope hold(lock);
    LSettingsFile *file = Find(section, true);
    return file && file->SetString(key, value);
}

bool LSettingsSectionList::SetBool(const char *section, const char *key, bool value)
{
    return SetString(section, key, LToSettingString(value));
}

bool LSettingsSectionList::SetInt(const char *section, const char *key, int value)
{
    char text[16];
    snprintf(text, sizeof text, "%d", value);
    return SetString(section, key, text);
}

bool LSettingsSectionList::DeleteItem(const char *section, const char *key)
{
    LLockScope hold(lock);
    LSettingsFile *file = Find(section, false);
    return file && file->DeleteField(key);
}

// clang-format off
const char *LSettingGetString(const char *s, const char *k, const char *d, char *out) { return LLocalSettings.GetString(s, k, d, out); }
bool LSettingGetBool(const char *s, const char *k, bool d) { return LLocalSettings.GetBool(s, k, d); }
int LSettingGetInt(const char *s, const char *k, int d) { return LLocalSettings.GetInt(s, k, d); }
void LSettingGetInts(const char *s, const LSettingsIntKey *k, int *out, int n) { LLocalSettings.GetInts(s, k, out, n); }
bool LSettingSetString(const char *s, const char *k, const char *v) { return LLocalSettings.SetString(s, k, v); }
bool LSettingSetBool(const char *s, const char *k, bool v) { return LLocalSettings.SetBool(s, k, v); }
bool LSettingSetInt(const char *s, const char *k, int v) { return LLocalSettings.SetInt(s, k, v); }
const char *LSettingGetPassword(const char *s, const char *k, const char *d, char *out) { return LLocalSettings.GetString(s, k, d, out); }
bool LSettingSetPassword(const char *s, const char *k, const char *v) { return LLocalSettings.SetString(s, k, v); }
bool LSettingDeleteItem(const char *s, const char *k) { return LLocalSettings.DeleteItem(s, k); }

const char *LUserSettingGetString(const char *s, const char *k, const char *d, char *out) { return LUserSettings.GetString(s, k, d, out); }
bool LUserSettingGetBool(const char *s, const char *k, bool d) { return LUserSettings.GetBool(s, k, d); }
int LUserSettingGetInt(const char *s, const char *k, int d) { return LUserSettings.GetInt(s, k, d); }
bool LUserSettingSetString(const char *s, const char *k, const char *v) { return LUserSettings.SetString(s, k, v); }
bool LUserSettingSetBool(const char *s, const char *k, bool v) { return LUserSettings.SetBool(s, k, v); }
bool LUserSettingSetInt(const char *s, const char *k, int v) { return LUserSettings.SetInt(s, k, v); }
bool LUserSettingDeleteItem(const char *s, const char *k) { return LUserSettings.DeleteItem(s, k); }
// clang-format on
