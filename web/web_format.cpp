#include "web/web_format.h"

#include "web/web_text.h"

#include <cstdio>
#include <cstring>

namespace
{
// One conversion specification as written: "%", flags, width, precision,
// length modifier and the conversion character.
struct Spec {
    char text[32];
    char length[3];
    char conversion;
};

const char *ReadSpec(const char *p, Spec &spec)
{
    size_t n = 0;
    spec.text[n++] = *p++;
    while (*p && strchr("-+ #0123456789.*", *p) && n < sizeof spec.text - 4)
        spec.text[n++] = *p++;
    size_t l = 0;
    while (*p && strchr("hlLqjzt", *p) && l < 2) {
        spec.length[l++] = *p;
        spec.text[n++] = *p++;
    }
    spec.length[l] = 0;
    spec.conversion = *p;
    if (*p)
        spec.text[n++] = *p++;
    spec.text[n] = 0;
    return p;
}

bool IsLong(const Spec &spec)
{
    return strcmp(spec.length, "l") == 0;
}
bool IsLongLong(const Spec &spec)
{
    return strcmp(spec.length, "ll") == 0 || strcmp(spec.length, "q") == 0 ||
           strcmp(spec.length, "j") == 0;
}
bool IsSize(const Spec &spec)
{
    return spec.length[0] == 'z' || spec.length[0] == 't';
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
void FormatOne(std::string &out, const Spec &spec, va_list &args)
{
    int stars = 0;
    for (const char *s = spec.text; *s; s++)
        stars += *s == '*';
    int star[2] = {0, 0};
    for (int i = 0; i < stars && i < 2; i++)
        star[i] = va_arg(args, int);
        // Rebuilt without length modifier problems: pass the values by type.
#define WEB_PASS(value)                                                                            \
    do {                                                                                           \
        if (stars == 0)                                                                            \
            Append(out, spec.text, value);                                                         \
        else if (stars == 1)                                                                       \
            Append(out, spec.text, star[0], value);                                                \
        else                                                                                       \
            Append(out, spec.text, star[0], star[1], value);                                       \
    } while (0)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    switch (spec.conversion) {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'o':
    case 'c':
        if (IsLongLong(spec))
            WEB_PASS(va_arg(args, long long));
        else if (IsLong(spec))
            WEB_PASS(va_arg(args, long));
        else if (IsSize(spec))
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
        if (spec.length[0] == 'L')
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
        out += spec.text;
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
        Spec spec;
        p = ReadSpec(percent, spec);
        FormatOne(out, spec, args);
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
