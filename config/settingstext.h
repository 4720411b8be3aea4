// The text form of a settings file: key=value lines, and the conversions of
// stored values to and from numbers and flags.
#pragma once

#include <string>
#include <vector>

// Keys and values are kept to 259 bytes, as in every fixed text buffer.
constexpr size_t LSettingsTextMax = 259;

struct LSettingsEntry {
    std::string key;
    std::string value;
};

using LSettingsEntries = std::vector<LSettingsEntry>;

// Parses a whole file. Leading bytes 0x01..0x20 are skipped, the key runs to
// the first "=", CR or LF, that one "=" is skipped, the value runs to CR or
// LF (so "a==b" is the value "=b", as it was written). Any of LF, CR, CR LF
// and LF CR ends a line. Entries with an empty key are dropped; duplicates
// are kept in file order.
LSettingsEntries LSettingsParse(const char *text, size_t length);

// Composes the file text: "key=value\r\n" per entry, in order.
std::string LSettingsCompose(const LSettingsEntries &entries);

// The key as it is looked up and stored: lower case, cut to 259 bytes.
std::string LSettingsKey(const char *key);

// A key the line format can hold: not empty, no "=", CR or LF, and not
// starting with a byte that reading would skip.
bool LSettingsIsStorableKey(const std::string &key);

// A value as it is stored: cut to 259 bytes, CR and LF replaced by a space
// so a value can never start another line.
std::string LSettingsValue(const char *value);

// Stored value conversions. Absent (null) or empty values give the default.
// Flags: first character "0" is false, anything else true. Numbers follow
// atoi: leading decimal number, no digits gives 0, out of range is clamped.
bool LFromSettingString(const char *stored, bool def);
int LFromSettingString(const char *stored, int def);
const char *LToSettingString(bool value);
