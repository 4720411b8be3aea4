#include "config/folders.h"

#include "platform/log.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace
{

const char *const kDefaultProgramFolder = "/opt/orv";

// Copies src into out (LPathSize bytes), cut at 259 bytes.
bool CopyPath(char *out, const char *src)
{
    size_t n = strlen(src);
    bool whole = n < LPathSize;
    if (!whole)
        n = LPathSize - 1;
    memmove(out, src, n);
    out[n] = 0;
    return whole;
}

const char *ProgramFolder(char *out)
{
    const char *root = getenv("VELA_ROOT");
    CopyPath(out, root && *root ? root : kDefaultProgramFolder);
    return out;
}

// A folder that is a fixed child of another folder of the layout.
struct LChild {
    LFolder which;
    LFolder parent;
    const char *name;
};

const LChild kChildren[] = {
    {LFolder::Application, LFolder::Program, "vela"},
    {LFolder::SharedData, LFolder::Application, "etc"},
    {LFolder::Binaries, LFolder::Application, "bin"},
    {LFolder::Resources, LFolder::Application, "share"},
    {LFolder::Help, LFolder::Resources, "help"},
    {LFolder::Components, LFolder::Program, "components"},
    {LFolder::Logs, LFolder::SharedData, "Logs"},
    {LFolder::Sessions, LFolder::SharedData, "SessionData"},
    {LFolder::WebControl, LFolder::SharedData, "WebControl"},
};

} // namespace

bool LFilePathCat(char *out, const char *left, const char *right)
{
    char joined[2 * LPathSize + 2];
    size_t n = strlen(left);
    if (n >= LPathSize)
        n = LPathSize - 1;
    memcpy(joined, left, n);
    if (n > 0 && left[n - 1] != '/' && left[n - 1] != '\\')
        joined[n++] = '/';
    size_t r = strlen(right);
    if (r >= LPathSize)
        r = LPathSize;
    memcpy(joined + n, right, r);
    joined[n + r] = 0;
    return CopyPath(out, joined);
}

const char *LGetFolder(LFolder which, char *out)
{
    if (which == LFolder::Program)
        return ProgramFolder(out);
    if (which == LFolder::LocalData)
        return LGetFolder(LFolder::Resources, out);
    if (which == LFolder::UserData) {
        const char *home = getenv("HOME");
        char base[LPathSize];
        LFilePathCat(base, home && *home ? home : "/opt", ".orv");
        LFilePathCat(out, base, "vela");
        return out;
    }
    for (const LChild &child : kChildren) {
        if (child.which == which) {
            char parent[LPathSize];
            LGetFolder(child.parent, parent);
            LFilePathCat(out, parent, child.name);
            return out;
        }
    }
    out[0] = 0;
    return out;
}

namespace
{
// mkdir -p from the deepest level up: a new record's folder usually lacks
// only its last level, so this costs one mkdir instead of one per level.
// made tells whether the deepest level was created here (then it is known
// to be an empty folder); an existing one may be anything.
bool MakeFolders(char *part, bool &made)
{
    made = mkdir(part, 0750) == 0;
    if (made || errno == EEXIST)
        return true;
    char *slash = strrchr(part, '/');
    if (errno != ENOENT || !slash || slash == part)
        return false;
    *slash = 0;
    bool parentMade = false;
    bool parent = MakeFolders(part, parentMade);
    *slash = '/';
    made = parent && mkdir(part, 0750) == 0;
    return made || (parent && errno == EEXIST);
}
} // namespace

bool LCreateFolder(const char *path, bool *created)
{
    char part[LPathSize];
    if (created)
        *created = false;
    if (!CopyPath(part, path) || !*part)
        return false;
    struct stat st;
    if (stat(part, &st) == 0)
        return S_ISDIR(st.st_mode);
    // An existing level (made by a concurrent process) is fine.
    bool made = false;
    if (!MakeFolders(part, made)) {
        LOGERRORF("Cannot create folder %s: %s", part, strerror(errno));
        return false;
    }
    if (created)
        *created = made;
    return made || (stat(part, &st) == 0 && S_ISDIR(st.st_mode));
}

const char *LSettingsGetSharedFolder(char *out)
{
    return LGetFolder(LFolder::SharedData, out);
}

const char *LSettingsGetUserFolder(char *out)
{
    return LGetFolder(LFolder::UserData, out);
}
