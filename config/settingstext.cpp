#include "config/settingstext.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace
{

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// Skips one line end of any of the forms LF, CR, CR LF, LF CR.
size_t SkipLineEnd(const char *text, size_t length, size_t i)
{
    if (i >= length || !IsLineEnd(text[i]))
        return i;
    char first = text[i++];
    if (i < length && IsLineEnd(text[i]) && text[i] != first)
        ++i;
    return i;
}

std::string Cut(const char *begin, size_t n)
{
    return std::string(begin, n > LSettingsTextMax ? LSettingsTextMax : n);
}

} // namespace

LSettingsEntries LSettingsParse(const char *text, size_t length)
{
    LSettingsEntries entries;
    // Sized once: an extension record has about a dozen lines and is read
    // for each request of a call. Capped, as a file of empty lines holds none.
    size_t breaks = (size_t)std::max(std::count(text, text + length, '\n'),
                                     std::count(text, text + length, '\r'));
    entries.reserve(std::min<size_t>(breaks + 1, 64));
    size_t i = 0;
    while (i < length) {
        // Unsigned compare: bytes 0x80 and above are part of keys.
        while (i < length && (unsigned char)text[i] >= 0x01 && (unsigned char)text[i] <= 0x20)
            ++i;
        size_t keyStart = i;
        while (i < length && text[i] != '=' && !IsLineEnd(text[i]))
            ++i;
        LSettingsEntry entry{Cut(text + keyStart, i - keyStart), std::string()};
        // One "=" separates: a stored value may begin with "=" itself.
        if (i < length && text[i] == '=')
            ++i;
        size_t valueStart = i;
        while (i < length && !IsLineEnd(text[i]))
            ++i;
        entry.value = Cut(text + valueStart, i - valueStart);
        i = SkipLineEnd(text, length, i);
        if (!entry.key.empty())
            entries.push_back(std::move(entry));
    }
    return entries;
}

std::string LSettingsCompose(const LSettingsEntries &entries)
{
    std::string text;
    for (const LSettingsEntry &e : entries) {
        text += e.key;
        text += '=';
        text += e.value;
        text += "\r\n";
    }
    return text;
}

std::string LSettingsKey(const char *key)
{
    std::string lower;
    for (const char *p = key; *p && lower.size() < LSettingsTextMax; ++p)
        lower += (char)tolower((unsigned char)*p);
    return lower;
}

bool LSettingsIsStorableKey(const std::string &key)
{
    if (key.empty() || (unsigned char)key[0] <= 0x20)
        return false;
    return key.find_first_of("=\r\n") == std::string::npos;
}

std::string LSettingsValue(const char *value)
{
    std::string stored;
    for (const char *p = value; *p && stored.size() < LSettingsTextMax; ++p)
        stored += IsLineEnd(*p) ? ' ' : *p;
    return stored;
}

bool LFromSettingString(const char *stored, bool def)
{
    if (!stored || !*stored)
        return def;
    return stored[0] != '0';
}

int LFromSettingString(const char *stored, int def)
{
    if (!stored || !*stored)
        return def;
    errno = 0;
    long n = strtol(stored, nullptr, 10);
    if (n > INT_MAX)
        return INT_MAX;
    if (n < INT_MIN)
        return INT_MIN;
    return (int)n;
}

const char *LToSettingString(bool value)
{
    return value ? "1" : "0";
}
