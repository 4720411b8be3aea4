#include "config/settingspath.h"

#include "config/settingstext.h"
#include "platform/log.h"

#include <cctype>
#include <cstring>

namespace
{

bool Fail(char *out, const char *what, const char *name)
{
    out[0] = 0;
    LOGERRORF("Refused settings %s \"%.100s\"", what, name);
    return false;
}

// Composes a path in the caller's buffer: the paths of the sections a call
// reads were heap strings before, two or three per path.
class LPathBuilder
{
  public:
    explicit LPathBuilder(char *out) : m_Out(out) {}
    // Appends text, lower-cased when asked (keys name files in lower case).
    LPathBuilder &Add(const char *text, bool lower = false)
    {
        for (; *text && !m_Overflow; text++) {
            if (m_Length >= LPathSize - 1)
                m_Overflow = true;
            else
                m_Out[m_Length++] = lower ? (char)tolower((unsigned char)*text) : *text;
        }
        return *this;
    }
    bool EndsWithSlash() const { return m_Length > 0 && m_Out[m_Length - 1] == '/'; }
    // False (out empty) when the path would pass 259 bytes; the refused
    // path's start goes to the log as it did.
    bool Finish()
    {
        m_Out[m_Length] = 0;
        if (!m_Overflow)
            return true;
        LOGERRORF("Refused settings path \"%.100s\"", m_Out);
        m_Out[0] = 0;
        return false;
    }

  private:
    char *m_Out;
    size_t m_Length = 0;
    bool m_Overflow = false;
};

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
    LPathBuilder path(out);
    path.Add(folder);
    if (*folder && !path.EndsWithSlash())
        path.Add("/");
    return path.Add(section, true).Finish();
}

bool LSettingGetSubListPath(char *out, const char *path)
{
    if (!*path)
        return Fail(out, "path", path);
    return LPathBuilder(out).Add(path).Add("_").Finish();
}

bool LSettingSubListSection(char *out, const char *path, const char *key)
{
    if (!*path)
        return Fail(out, "path", path);
    if (!LSettingsIsValidRecordKey(key))
        return Fail(out, "record key", key);
    return LPathBuilder(out).Add(path).Add("_/").Add(key, true).Finish();
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
