#include "platform/hashtable.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace
{
char *CopyText(const char *text, int length)
{
    char *copy = (char *)malloc((size_t)length + 1);
    if (copy) {
        memcpy(copy, text, (size_t)length);
        copy[length] = 0;
    }
    return copy;
}

int HexValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return 0;
}

// DEL (0x7F) is escaped too: it is a control byte, and a raw one would end
// up in cookies and header lines.
bool IsCopiedAsIs(unsigned char byte)
{
    return byte > 0x20 && byte < 0x7F && !strchr("%:/?#[]@!$&'()*+,;=", byte);
}
} // namespace

LHashTable::LHashNode::~LHashNode()
{
    if (m_valueOnHeap)
        free(m_value);
}

bool LHashTable::LHashNode::SetValue(const char *value, size_t length)
{
    if (length < m_valueRoom && !m_valueOnHeap) {
        // memmove: the value may be a part of the stored one.
        memmove(m_value, value, length);
        m_value[length] = 0;
        return true;
    }
    char *copy = CopyText(value, (int)length);
    if (!copy)
        return false;
    if (m_valueOnHeap)
        free(m_value);
    m_value = copy;
    m_valueOnHeap = true;
    return true;
}

LHashTable &LHashTable::operator=(const LHashTable &other)
{
    if (&other != this) {
        Clear();
        CopyFrom(other);
    }
    return *this;
}

void LHashTable::CopyFrom(const LHashTable &other)
{
    for (const LHashNode *n = other.First(); n; n = LListNext(n))
        if (LHashNode *copy =
                NewNode(n->m_name, (int)strlen(n->m_name), n->m_value, (int)strlen(n->m_value)))
            m_nodes.AddBottom(copy);
}

LHashTable::LHashNode *LHashTable::NewNode(const char *name, int nameLength, const char *value,
                                           int valueLength)
{
    size_t room = (size_t)valueLength + 1;
    void *memory = ::operator new(sizeof(LHashNode) + (size_t)nameLength + 1 + room, std::nothrow);
    if (!memory)
        return nullptr;
    LHashNode *node = new (memory) LHashNode;
    node->m_name = reinterpret_cast<char *>(node + 1);
    memcpy(node->m_name, name, (size_t)nameLength);
    node->m_name[nameLength] = 0;
    node->m_value = node->m_name + nameLength + 1;
    node->m_valueRoom = room;
    memcpy(node->m_value, value, (size_t)valueLength);
    node->m_value[valueLength] = 0;
    return node;
}

LHashTable::LHashNode *LHashTable::Find(const char *name) const
{
    if (!name)
        return nullptr;
    for (const LHashNode *n = First(); n; n = LListNext(n))
        if (strcmp(n->m_name, name) == 0)
            return const_cast<LHashNode *>(n);
    return nullptr;
}

const char *LHashTable::GetParm(const char *name, const char *def) const
{
    const LHashNode *node = Find(name);
    return node ? node->m_value : def;
}

const char *LHashTable::GetParmTrim(const char *name, const char *def)
{
    LHashNode *node = Find(name);
    if (!node)
        return def;
    char *value = node->m_value;
    size_t start = strspn(value, " ");
    size_t length = strlen(value + start);
    while (length > 0 && value[start + length - 1] == ' ')
        length--;
    memmove(value, value + start, length);
    value[length] = 0;
    return value;
}

void LHashTable::GetString(const char *name, const char *def, char (&out)[260]) const
{
    LStrCopy(out, GetParm(name, def));
}

bool LHashTable::GetBool(const char *name, bool def) const
{
    const char *value = GetParm(name, nullptr);
    if (value && strcmp(value, "0") == 0)
        return false;
    if (value && strcmp(value, "1") == 0)
        return true;
    return def;
}

int LHashTable::GetInt(const char *name, int def) const
{
    const char *value = GetParm(name, nullptr);
    if (!value || !*value)
        return def;
    long parsed = 0;
    LStringParser parser(value);
    parser.SkipWhiteSpace();
    if (!parser.GetInt(parsed))
        return 0;
    // Clamp like a saturating atoi instead of overflowing.
    if (parsed > 0x7FFFFFFF)
        return 0x7FFFFFFF;
    if (parsed < -0x7FFFFFFF - 1)
        return -0x7FFFFFFF - 1;
    return (int)parsed;
}

bool LHashTable::SetParm(const char *name, const char *value)
{
    if (!name)
        return false;
    if (!value)
        value = "";
    if (LHashNode *node = Find(name))
        return node->SetValue(value, strlen(value));
    LHashNode *node = NewNode(name, (int)strlen(name), value, (int)strlen(value));
    if (!node)
        return false;
    m_nodes.AddTop(node);
    return true;
}

bool LHashTable::SetInt(const char *name, int value)
{
    char text[16];
    LStrFormat(text, sizeof text, "%d", value);
    return SetParm(name, text);
}

bool LHashTable::DeleteParm(const char *name)
{
    LHashNode *node = Find(name);
    return node && m_nodes.Delete(node);
}

void LHashTable::LoadHTTPString(const char *text)
{
    if (!text)
        return;
    LStringLong name, value;
    while (*text) {
        size_t pairLength = strcspn(text, "&");
        size_t nameLength = strcspn(text, "=&");
        name.Empty();
        value.Empty();
        LHTTPDecode(text, (int)nameLength, name);
        if (nameLength < pairLength)
            LHTTPDecode(text + nameLength + 1, (int)(pairLength - nameLength - 1), value);
        if (!name.IsEmpty())
            if (LHashNode *node = NewNode(name.GetString(), name.GetLength(), value.GetString(),
                                          value.GetLength()))
                m_nodes.AddBottom(node);
        text += pairLength;
        if (*text == '&')
            text++;
    }
}

void LHashTable::SaveHTTPString(LStringLong &out) const
{
    bool first = true;
    for (const LHashNode *n = First(); n; n = LListNext(n)) {
        if (!first)
            out.Append('&');
        first = false;
        LHTTPEncode(n->m_name, (int)strlen(n->m_name), out);
        out.Append('=');
        LHTTPEncode(n->m_value, (int)strlen(n->m_value), out);
    }
}

void LHTTPEncode(const char *text, int length, LStringLong &out)
{
    static const char hex[] = "0123456789ABCDEF";
    for (int i = 0; i < length; i++) {
        unsigned char byte = (unsigned char)text[i];
        if (IsCopiedAsIs(byte)) {
            out.Append((char)byte);
            continue;
        }
        char escape[3] = {'%', hex[byte >> 4], hex[byte & 15]};
        out.Append(escape, 3);
    }
}

void LHTTPDecode(const char *text, int length, LStringLong &out)
{
    for (int i = 0; i < length; i++) {
        char ch = text[i];
        if (ch == '+') {
            out.Append(' ');
            continue;
        }
        if (ch == '%') {
            if (length - i - 1 < 2)
                return;
            ch = (char)(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        }
        if (ch)
            out.Append(ch);
    }
}
