#include "config/settingspath.h"

#include "config/settingstext.h"
#include "platform/log.h"

#include <cstring>

namespace
{

bool Fail(char *out, const char *what, const char *name)
{
    out[0] = 0;
    LOGERRORF("Refused settings %s \"%.100s\"", what, name);
    return false;
}

bool StoreIfFits(char *out, const std::string &path)
{
    if (path.size() >= LPathSize)
        return Fail(out, "path", path.c_str());
    memcpy(out, path.c_str(), path.size() + 1);
    return true;
}

} // namespace

bool LSettingsIsValidRecordKey(const char *key)
{
    size_t n = strlen(key);
    if (n == 0 || n >= LPathSize || key[n - 1] == '_')
        return false;
    if (strpbrk(key, "/\\\r\n") || strstr(key, ".."))
        return false;
    return strcmp(key, ".") != 0;
}

bool LSettingSectionFile(char *out, const char *folder, const char *section)
{
    if (!LSettingsIsValidRecordKey(section))
        return Fail(out, "section", section);
    std::string path(folder);
    if (!path.empty() && path.back() != '/')
        path += '/';
    return StoreIfFits(out, path + LSettingsKey(section));
}

bool LSettingGetSubListPath(char *out, const char *path)
{
    if (!*path)
        return Fail(out, "path", path);
    return StoreIfFits(out, std::string(path) + "_");
}

bool LSettingSubListSection(char *out, const char *path, const char *key)
{
    if (!*path)
        return Fail(out, "path", path);
    if (!LSettingsIsValidRecordKey(key))
        return Fail(out, "record key", key);
    return StoreIfFits(out, std::string(path) + "_/" + LSettingsKey(key));
}

void LSettingsFolderOf(char *out, const char *path)
{
    const char *slash = strrchr(path, '/');
    size_t n = slash ? (size_t)(slash - path) : 0;
    if (n >= LPathSize)
        n = LPathSize - 1;
    memmove(out, path, n);
    out[n] = 0;
}
