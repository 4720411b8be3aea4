// Naming of the settings tree: a section is a file in a folder, a record's
// sub-records are the files of the folder record path + "_".
#pragma once

#include "config/folders.h"

// A record or section key that names exactly one file of its folder: not
// empty, no "/", "\\", CR or LF, no "..", not ending in "_" (that is a
// sub-list folder). Names containing ".." are also what the tree uses for its
// own lock and temporary files, so they can never be taken for records.
bool LSettingsIsValidRecordKey(const char *key);

// out = folder + "/" + section in lower case. False (out empty) when the
// section is not a valid key or the path would pass 259 bytes.
bool LSettingSectionFile(char *out, const char *folder, const char *section);

// out = path + "_", the folder holding the sub-records of path.
bool LSettingGetSubListPath(char *out, const char *path);

// out = path + "_/" + key in lower case. Nothing is created here: the folder
// comes into being with the first file written into it, so reading a record
// that does not exist leaves no trace in the tree.
bool LSettingSubListSection(char *out, const char *path, const char *key);

// The folder part of a path (everything before the last "/").
void LSettingsFolderOf(char *out, const char *path);
