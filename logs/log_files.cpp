#include "logs/log_files.h"

#include "config/folders.h"
#include "logs/program_log.h"

#include <cstdio>
#include <cstring>

const char *LLogFolderPath(char *out)
{
    const char *folder = LLog::GetLogFolder();
    if (folder[0])
        std::snprintf(out, LPathSize, "%s", folder);
    else
        LGetFolder(LFolder::Logs, out);
    return out;
}

bool LLogIsPlainFileName(const char *name)
{
    if (!name || !name[0] || std::strstr(name, ".."))
        return false;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p; p++) {
        if (*p == '/' || *p == '\\' || *p < 0x20 || *p == 0x7f)
            return false;
    }
    return true;
}

bool LLogFilePath(char *out, const char *name)
{
    out[0] = 0;
    if (!LLogIsPlainFileName(name))
        return false;
    char folder[LPathSize];
    if (!LFilePathCat(out, LLogFolderPath(folder), name)) {
        out[0] = 0;
        return false;
    }
    return true;
}
