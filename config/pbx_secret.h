// Secrets the exchange makes up itself: passwords of new extensions and lines.
#pragma once

#include <cstddef>

// Length of a generated extension password (letters only, so that it can be
// typed on a phone's keypad menus without symbols).
constexpr size_t kPBXRandomPasswordLength = 8;

// Fills out[0..count-1] with letters drawn uniformly from "a" to "z" and
// terminates it (out holds count + 1 bytes). The bytes come from the kernel's
// random source; returns false (out then holds "") when it cannot deliver.
bool LPBXRandomLetters(char *out, size_t count);

// 8 random lower-case letters into out (at least 9 bytes); returns out, which
// holds "" when the random source failed (no record may be made then).
const char *CreateRandomExtensionPassword(char *out);
