#include "web/web_format.h"

#include "web/web_text.h"

#include <cstdio>
#include <cstring>

namespace
{
// One printf conversion as written: "%", flags, width, precision,
// length modifier and the conversion character.
struct Conversion {
    char text[32];
    char length[3];
    char conversion;
};

const char *ReadConversion(const char *p, Conversion &conv)
{
    size_t n = 0;
    conv.text[n++] = *p++;
    while (*p && strchr("-+ #0123456789.*", *p) && n < sizeof conv.text - 4)
        conv.text[n++] = *p++;
    size_t l = 0;
    while (*p && strchr("hlLqjzt", *p) && l < 2) {
        conv.length[l++] = *p;
        conv.text[n++] = *p++;
    }
    conv.length[l] = 0;
    conv.conversion = *p;
    if (*p)
        conv.text[n++] = *p++;
    conv.text[n] = 0;
    return p;
}

bool IsLong(const Conversion &conv)
{
    return strcmp(conv.length, "l") == 0;
}
bool IsLongLong(const Conversion &conv)
{
    return strcmp(conv.length, "ll") == 0 || strcmp(conv.length, "q") == 0 ||
           strcmp(conv.length, "j") == 0;
}
bool IsSize(const Conversion &conv)
{
    return conv.length[0] == 'z' || conv.length[0] == 't';
}

void Append(std::string &out, const char *format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string &out, const char *format, ...)
{
    char small[256];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0)
        return;
    if ((size_t)n < sizeof small) {
        out.append(small, (size_t)n);
        return;
    }
    std::string big((size_t)n + 1, '\0');
    va_start(args, format);
    vsnprintf(big.data(), big.size(), format, args);
    va_end(args);
    out.append(big.data(), (size_t)n);
}

// Formats one conversion, taking "*" width and precision first.
void FormatOne(std::string &out, const Conversion &conv, va_list &args)
{
    int stars = 0;
    for (const char *s = conv.text; *s; s++)
        stars += *s == '*';
    int star[2] = {0, 0};
    for (int i = 0; i < stars && i < 2; i++)
        star[i] = va_arg(args, int);
        // Rebuilt without length modifier problems: pass the values by type.
#define WEB_PASS(value)                                                                            \
    do {                                                                                           \
        if (stars == 0)                                                                            \
            Append(out, conv.text, value);                                                         \
        else if (stars == 1)                                                                       \
            Append(out, conv.text, star[0], value);                                                \
        else                                                                                       \
            Append(out, conv.text, star[0], star[1], value);                                       \
    } while (0)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    switch (conv.conversion) {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'o':
    case 'c':
        if (IsLongLong(conv))
            WEB_PASS(va_arg(args, long long));
        else if (IsLong(conv))
            WEB_PASS(va_arg(args, long));
        else if (IsSize(conv))
            WEB_PASS(va_arg(args, size_t));
        else
            WEB_PASS(va_arg(args, int));
        break;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
        if (conv.length[0] == 'L')
            WEB_PASS(va_arg(args, long double));
        else
            WEB_PASS(va_arg(args, double));
        break;
    case 's': {
        const char *s = va_arg(args, const char *);
        WEB_PASS(s ? s : "(null)");
        break;
    }
    case 'p':
        WEB_PASS(va_arg(args, void *));
        break;
    default:
        out += conv.text;
    }
#pragma GCC diagnostic pop
#undef WEB_PASS
}
} // namespace

void WebFormatV(std::string &out, const char *format, va_list args_in)
{
    va_list args;
    va_copy(args, args_in);
    const char *p = format;
    while (*p) {
        const char *percent = strchr(p, '%');
        if (!percent) {
            out += p;
            break;
        }
        out.append(p, (size_t)(percent - p));
        if (percent[1] == '%') {
            out += '%';
            p = percent + 2;
            continue;
        }
        if (percent[1] == 'H' || percent[1] == 'U') {
            const char *s = va_arg(args, const char *);
            if (percent[1] == 'H')
                WebHtmlEncode(out, s);
            else
                WebUrlEncode(out, s);
            p = percent + 2;
            continue;
        }
        Conversion conv;
        p = ReadConversion(percent, conv);
        FormatOne(out, conv, args);
    }
    va_end(args);
}

std::string WebFormat(const char *format, ...)
{
    std::string out;
    out.reserve(8192);
    va_list args;
    va_start(args, format);
    WebFormatV(out, format, args);
    va_end(args);
    return out;
}
