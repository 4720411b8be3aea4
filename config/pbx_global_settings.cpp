#include "config/pbx_global_settings.h"

#include "config/settingssections.h"

#include <cstdio>

bool LPBXBoolSetting::Get() const
{
    return LSettingGetBool(section, key, def);
}

void LPBXBoolSetting::Set(bool value) const
{
    LSettingSetBool(section, key, value);
}

int LPBXIntSetting::Get() const
{
    return LSettingGetInt(section, key, def);
}

void LPBXIntSetting::Set(int value) const
{
    LSettingSetInt(section, key, value);
}

const char *LPBXStringSetting::Get(char *out) const
{
    return LSettingGetString(section, key, def, out);
}

void LPBXStringSetting::Set(const char *value) const
{
    LSettingSetString(section, key, value);
}

namespace
{
constexpr const char *kSettingsSection = "Settings";
constexpr const char *kRegistryMappingSection = "RegistryMapping";
constexpr const char *kInstallSection = "Install";

// Keys longer than a settings key can hold are cut like every other key.
void CompanionKey(char (&key)[260], const char *name)
{
    snprintf(key, sizeof key, "%sPass", name);
}
} // namespace

const char *LPBXGetCompanionPassword(const char *name, char *out)
{
    char key[260];
    CompanionKey(key, name);
    return LSettingGetPassword(kSettingsSection, key, "", out);
}

void LPBXSetCompanionPassword(const char *name, const char *password)
{
    char key[260];
    CompanionKey(key, name);
    LSettingSetPassword(kSettingsSection, key, password);
}

const char *LPBXGetRegistryMappingFrom(int n, char *out)
{
    char key[32];
    snprintf(key, sizeof key, "From%d", n);
    return LSettingGetString(kRegistryMappingSection, key, "", out);
}

const char *LPBXGetRegistryMappingTo(int n, char *out)
{
    char key[32];
    snprintf(key, sizeof key, "To%d", n);
    return LSettingGetString(kRegistryMappingSection, key, "", out);
}

void LPBXSetRegistryMapping(int n, const char *from, const char *to)
{
    char key[32];
    snprintf(key, sizeof key, "From%d", n);
    LSettingSetString(kRegistryMappingSection, key, from);
    snprintf(key, sizeof key, "To%d", n);
    LSettingSetString(kRegistryMappingSection, key, to);
}

bool LPBXGetInstallPending(const char *component)
{
    return LSettingGetBool(kInstallSection, component, false);
}

void LPBXSetInstallPending(const char *component, bool pending)
{
    LSettingSetBool(kInstallSection, component, pending);
}
