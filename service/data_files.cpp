#include "service/data_files.h"

#include "platform/log.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
bool IsFolder(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}
} // namespace

bool VLProgramDataFolder(char *out)
{
    out[0] = 0;
    char exe[LPathSize];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0 || n >= (ssize_t)sizeof exe - 1) {
        LOGERRORF("Cannot find the program's own path: %s", n < 0 ? strerror(errno) : "too long");
        return false;
    }
    exe[n] = 0;
    *strrchr(exe, '/') = 0;
    const char *const relatives[] = {"../share/vela", "share/vela"};
    for (const char *relative : relatives) {
        if (LFilePathCat(out, exe, relative) && IsFolder(out))
            return true;
    }
    out[0] = 0;
    return false;
}
