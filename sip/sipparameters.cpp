#include "sip/sipparameters.h"

#include "sip/siptext.h"
#include "sip/uricoding.h"

#include <cstring>

namespace
{
void TrimEnd(char *text)
{
    text[LSipTrimmedLength(text, strlen(text))] = 0;
}

// Reads one name[=value] item that ends at the separator; returns the
// position after the item and its separator.
const char *ReadPair(LHashTable &table, const char *text, char separator)
{
    char name[kSipLongText];
    char value[kSipLongText];
    const char nameStops[] = {'=', separator, 0};
    const char valueStops[] = {separator, 0};
    // White space around ';' and '=' is allowed (RFC 3261 section 25.1).
    text = LSipSkipWhite(text);
    text += LURIDecode(name, sizeof(name), text, nameStops);
    TrimEnd(name);
    value[0] = 0;
    if (*text == '=') {
        text = LSipSkipWhite(text + 1);
        text += LURIDecode(value, sizeof(value), text, valueStops);
        TrimEnd(value);
    }
    // A '%' cut short by the end or a separator stops decoding early.
    while (*text && *text != separator)
        text++;
    if (name[0])
        table.SetParm(name, value);
    return *text ? text + 1 : text;
}
} // namespace

void LSipParseParameters(LHashTable &table, const char *text)
{
    while (*text)
        text = ReadPair(table, text, ';');
}

void LSipSaveHTTPString(const LHashTable &table, std::string &out)
{
    LStringLong coded;
    table.SaveHTTPString(coded);
    out.append(coded.GetString(), (size_t)coded.GetLength());
}
