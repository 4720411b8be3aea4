#include "sip/sipparameters.h"

#include "sip/siptext.h"
#include "sip/uricoding.h"

#include <cstring>

const LSipParameters::Pair *LSipParameters::Find(const char *name) const
{
    for (const Pair &pair : m_Pairs) {
        if (pair.first == name)
            return &pair;
    }
    return nullptr;
}

void LSipParameters::SetParm(const char *name, const char *value)
{
    for (Pair &pair : m_Pairs) {
        if (pair.first == name) {
            pair.second = value;
            return;
        }
    }
    m_Pairs.emplace_back(name, value);
}

const char *LSipParameters::GetParm(const char *name, const char *defaultValue) const
{
    const Pair *pair = Find(name);
    return pair ? pair->second.c_str() : defaultValue;
}

bool LSipParameters::DeleteParm(const char *name)
{
    for (auto it = m_Pairs.begin(); it != m_Pairs.end(); ++it) {
        if (it->first == name) {
            m_Pairs.erase(it);
            return true;
        }
    }
    return false;
}

namespace
{
const char *SkipWhite(const char *text)
{
    while (*text == ' ' || *text == '\t')
        text++;
    return text;
}

void TrimEnd(char *text)
{
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        text[--length] = 0;
}

// Reads one name[=value] item that ends at the separator; returns the
// position after the item and its separator.
const char *ReadPair(LSipParameters &table, const char *text, char separator)
{
    char name[kSipLongText];
    char value[kSipLongText];
    const char nameStops[] = {'=', separator, 0};
    const char valueStops[] = {separator, 0};
    // White space around ';' and '=' is allowed (RFC 3261 section 25.1).
    text = SkipWhite(text);
    text += LURIDecode(name, sizeof(name), text, nameStops);
    TrimEnd(name);
    value[0] = 0;
    if (*text == '=') {
        text = SkipWhite(text + 1);
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

void LSipParseParameters(LSipParameters &table, const char *text)
{
    while (*text)
        text = ReadPair(table, text, ';');
}

void LSipParameters::LoadHTTPString(const char *text)
{
    while (*text)
        text = ReadPair(*this, text, '&');
}

void LSipParameters::SaveHTTPString(std::string &out) const
{
    char coded[kSipLongText];
    for (size_t i = 0; i < GetCount(); i++) {
        if (i > 0)
            out += '&';
        out.append(coded, LURIEncode(coded, GetNameAt(i)));
        out += '=';
        out.append(coded, LURIEncode(coded, GetValueAt(i)));
    }
}
