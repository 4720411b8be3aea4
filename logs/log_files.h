// Names of files in the log folder as the control panel receives them. A
// name comes from a form field, that is from the client, so only a plain
// file name of the log folder is accepted.
#pragma once

#include <cstddef>

// The log folder: the one the program log writes to, or the configured
// folder when the program log has not been set up. out holds 260 bytes.
const char *LLogFolderPath(char *out);

// True for a non-empty name without "/", "\\", ".." or control characters.
bool LLogIsPlainFileName(const char *name);

// The path of a plain file name in the log folder; false (out empty) when
// the name is refused or the path would be cut. out holds 260 bytes.
bool LLogFilePath(char *out, const char *name);
