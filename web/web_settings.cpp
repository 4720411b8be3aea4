#include "web/web_settings.h"

#include "config/folders.h"
#include "config/settingssections.h"

std::string WebSettingGetString(const char *section, const char *key, const char *def)
{
    char out[LPathSize];
    return LSettingGetString(section, key, def, out);
}

int WebSettingGetInt(const char *section, const char *key, int def)
{
    return LSettingGetInt(section, key, def);
}

bool WebSettingSetInt(const char *section, const char *key, int value)
{
    return LSettingSetInt(section, key, value);
}

bool WebSettingSetString(const char *section, const char *key, const char *value)
{
    return LSettingSetString(section, key, value);
}

std::string WebSharedDataFolder()
{
    char out[LPathSize];
    return LGetFolder(LFolder::SharedData, out);
}

std::string WebResourcesFolder()
{
    char out[LPathSize];
    return LGetFolder(LFolder::Resources, out);
}
