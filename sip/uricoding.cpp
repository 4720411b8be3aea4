#include "sip/uricoding.h"

#include "sip/siptext.h"

#include <cstring>

namespace
{
bool MustEscape(unsigned char c)
{
    return c <= 32 || c >= 128 || strchr("%:/?#[]@!$&'()*+,;=", c) != nullptr;
}

// A byte that is not a hex digit counts as 0.
int HexValue(char c)
{
    static const char digits[] = "0123456789abcdef";
    const char *found = c ? strchr(digits, LSipLower(c)) : nullptr;
    return found ? (int)(found - digits) : 0;
}

bool IsTerminator(char c, const char *terminators)
{
    return c == 0 || strchr(terminators, c) != nullptr;
}
} // namespace

size_t LURIEncode(char *out, size_t capacity, const char *text)
{
    static const char hex[] = "0123456789ABCDEF";
    if (capacity == 0)
        return 0;
    size_t length = 0;
    for (; *text; text++) {
        unsigned char c = (unsigned char)*text;
        if (!MustEscape(c)) {
            if (length + 1 >= capacity)
                break;
            out[length++] = (char)c;
            continue;
        }
        if (length + 3 >= capacity)
            break;
        out[length++] = '%';
        out[length++] = hex[c >> 4];
        out[length++] = hex[c & 15];
    }
    out[length] = 0;
    return length;
}

size_t LURIDecode(char *out, size_t capacity, const char *text, const char *terminators)
{
    size_t length = 0;
    size_t i = 0;
    while (!IsTerminator(text[i], terminators)) {
        char c = text[i];
        if (c == '%') {
            if (IsTerminator(text[i + 1], terminators) || IsTerminator(text[i + 2], terminators))
                break;
            c = (char)(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 3;
        } else {
            c = (c == '+') ? ' ' : c;
            i++;
        }
        if (c != 0 && length + 1 < capacity)
            out[length++] = c;
    }
    if (capacity > 0)
        out[length] = 0;
    return i;
}
