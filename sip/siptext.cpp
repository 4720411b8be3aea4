#include "sip/siptext.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sys/types.h>

void LSipCopyText(char *dest, size_t capacity, const char *src, size_t length)
{
    if (capacity == 0)
        return;
    if (length > capacity - 1)
        length = capacity - 1;
    memcpy(dest, src, length);
    dest[length] = 0;
}

void LSipCopyText(char *dest, size_t capacity, const char *src)
{
    if (capacity == 0)
        return;
    size_t length = 0;
    while (length < capacity - 1 && src[length])
        length++;
    LSipCopyText(dest, capacity, src, length);
}

size_t LSipTrimmedLength(const char *text, size_t length)
{
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        length--;
    return length;
}

bool LSipEqualNoCase(const char *a, const char *b)
{
    for (; *a && *b; a++, b++) {
        if (LSipLower(*a) != LSipLower(*b))
            return false;
    }
    return *a == *b;
}

bool LSipEqualNoCase(const char *a, size_t length, const char *b)
{
    for (size_t i = 0; i < length; i++, b++) {
        if (!*b || LSipLower(a[i]) != LSipLower(*b))
            return false;
    }
    return *b == 0;
}

bool LSipStartsNoCase(const char *text, const char *prefix)
{
    for (; *prefix; text++, prefix++) {
        if (LSipLower(*text) != LSipLower(*prefix))
            return false;
    }
    return true;
}

unsigned long LSipParseDecimal(const char *text, size_t length, unsigned long limit,
                               unsigned long fallback)
{
    size_t i = 0;
    while (i < length && (text[i] == ' ' || text[i] == '\t'))
        i++;
    if (i == length || text[i] < '0' || text[i] > '9')
        return fallback;
    unsigned long value = 0;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; i++) {
        value = value * 10 + (unsigned long)(text[i] - '0');
        if (value > limit)
            return limit;
    }
    return value;
}

namespace
{
// True when every conversion is %s, %d, %u, %zu or %%: the ones messages are
// composed with. Anything else (flags, widths, other types) goes to vsnprintf.
bool IsPlainFormat(const char *format)
{
    for (const char *p = strchr(format, '%'); p; p = strchr(p + 1, '%')) {
        p++;
        if (*p == 'z')
            p++;
        if (*p != 's' && *p != 'd' && *p != 'u' && !(*p == '%' && p[-1] == '%'))
            return false;
    }
    return true;
}

// Appends a plain format without the stdio machinery, which costs several
// times the copying for the few dozen lines composed per call.
void AppendPlain(std::string &out, const char *format, va_list args)
{
    char number[24];
    for (;;) {
        const char *percent = strchr(format, '%');
        if (!percent) {
            out.append(format);
            return;
        }
        out.append(format, (size_t)(percent - format));
        const char *conversion = percent + 1;
        bool size = *conversion == 'z';
        if (size)
            conversion++;
        std::to_chars_result result{number, {}};
        switch (*conversion) {
        case 's': {
            const char *text = va_arg(args, const char *);
            out.append(text ? text : "(null)");
            break;
        }
        case 'd':
            result = size ? std::to_chars(number, number + sizeof number, va_arg(args, ssize_t))
                          : std::to_chars(number, number + sizeof number, va_arg(args, int));
            out.append(number, (size_t)(result.ptr - number));
            break;
        case 'u':
            result = size ? std::to_chars(number, number + sizeof number, va_arg(args, size_t))
                          : std::to_chars(number, number + sizeof number, va_arg(args, unsigned));
            out.append(number, (size_t)(result.ptr - number));
            break;
        default: // "%%"
            out.push_back('%');
            break;
        }
        format = conversion + 1;
    }
}
} // namespace

void LSipAppendF(std::string &out, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    if (IsPlainFormat(format)) {
        AppendPlain(out, format, args);
        va_end(args);
        return;
    }
    char local[512];
    int needed = vsnprintf(local, sizeof(local), format, args);
    va_end(args);
    if (needed < 0)
        return;
    if ((size_t)needed < sizeof(local)) {
        out.append(local, (size_t)needed);
        return;
    }
    size_t start = out.size();
    out.resize(start + (size_t)needed + 1);
    va_start(args, format);
    vsnprintf(&out[start], (size_t)needed + 1, format, args);
    va_end(args);
    out.resize(start + (size_t)needed);
}
