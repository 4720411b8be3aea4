#include "sip/sipreaders.h"

#include <cstring>

namespace
{
bool BelowSpace(char c)
{
    return (signed char)c < 32;
}

void SkipSpaces(const char *text, size_t length, size_t &position)
{
    while (position < length && text[position] == ' ')
        position++;
}
// First CR or LF at or after start (or length). memchr scans many bytes per
// step; the window keeps a message without the other terminator (CR-only or
// LF-only lines) from being scanned to its end once per line.
size_t LineEnd(const char *text, size_t length, size_t start)
{
    constexpr size_t kWindow = 128;
    size_t end = start;
    while (end < length) {
        size_t window = length - end < kWindow ? length - end : kWindow;
        const char *lf = (const char *)memchr(text + end, '\n', window);
        size_t stop = lf ? (size_t)(lf - text) : end + window;
        const char *cr = (const char *)memchr(text + end, '\r', stop - end);
        if (cr)
            return (size_t)(cr - text);
        if (lf)
            return stop;
        end = stop;
    }
    return length;
}
} // namespace

bool LoadSpaceTerminatedString(const char *text, size_t length, size_t &position, char *out,
                               size_t capacity)
{
    size_t written = 0;
    SkipSpaces(text, length, position);
    while (position < length && !BelowSpace(text[position])) {
        char c = text[position++];
        if (c == ' ')
            break;
        if (written + 1 < capacity)
            out[written++] = c;
    }
    out[written] = 0;
    return written > 0;
}

size_t LoadColonTerminatedString(const char *text, size_t length, size_t &position, char *out,
                                 size_t capacity)
{
    size_t written = 0;
    while (position < length && !BelowSpace(text[position])) {
        char c = text[position++];
        if (c == ':')
            break;
        if (c != ' ' && written + 1 < capacity)
            out[written++] = c;
    }
    out[written] = 0;
    return written;
}

void SkipLineEnd(const char *text, size_t length, size_t &position)
{
    if (position >= length || (text[position] != '\r' && text[position] != '\n'))
        return;
    char first = text[position++];
    char pair = (first == '\r') ? '\n' : '\r';
    if (position < length && text[position] == pair)
        position++;
}

size_t LoadLineTerminatedString(const char *text, size_t length, size_t &position, char *out,
                                size_t capacity)
{
    SkipSpaces(text, length, position);
    size_t start = position;
    position = LineEnd(text, length, start);
    size_t written = position - start;
    if (written > capacity - 1)
        written = capacity - 1;
    memcpy(out, text + start, written);
    out[written] = 0;
    SkipLineEnd(text, length, position);
    return written;
}
