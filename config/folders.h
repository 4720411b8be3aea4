// The folder layout of the installation. Every subsystem asks here for its
// folders so that one environment variable (VELA_ROOT) can move the whole
// tree, which is how tests and side-by-side installations run.
#pragma once

#include <cstddef>

// Paths are at most 259 bytes plus the terminating zero.
constexpr size_t LPathSize = 260;

enum class LFolder {
    Program,     // VELA_ROOT, or "/opt/orv" when it is unset or empty
    Application, // program + "/vela"
    SharedData,  // application + "/etc": the settings tree
    Binaries,    // application + "/bin"
    Resources,   // application + "/share"
    LocalData,   // installed data files (prompts): the resources folder
    Help,        // resources + "/help"
    Components,  // program + "/components"
    Logs,        // shared data + "/Logs"
    Sessions,    // shared data + "/SessionData"
    WebControl,  // shared data + "/WebControl"
    UserData,    // $HOME (or "/opt") + "/.orv/vela"
};

// Writes the folder's path into out (LPathSize bytes) and returns out. The
// folder is not created; see LCreateFolder.
const char *LGetFolder(LFolder which, char *out);

// Creates every missing level of path with mode 0750. True when the folder
// exists afterwards; created, when given, tells whether this call made it
// (so it is empty).
bool LCreateFolder(const char *path, bool *created = nullptr);

// Joins left and right with one "/" (none when left is empty or already ends
// in "/" or "\\"). The result is cut at 259 bytes; returns false when it was.
bool LFilePathCat(char *out, const char *left, const char *right);

const char *LSettingsGetSharedFolder(char *out);
const char *LSettingsGetUserFolder(char *out);
