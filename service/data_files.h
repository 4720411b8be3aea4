// Where the files that ship with the program (the control panel's images,
// styles and help pages) are found: next to the executable, never through
// the source tree it was built from, so an installed or moved binary works.
#pragma once

#include "config/folders.h"

// The data folder of this executable: "<bin>/../share/vela" in an installed
// tree, "<bin>/share/vela" in a build tree. False (and out empty) when
// neither exists.
bool VLProgramDataFolder(char *out);
