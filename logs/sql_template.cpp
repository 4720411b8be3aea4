#include "logs/sql_template.h"

#include <cstring>

namespace
{
bool IsControl(unsigned char c)
{
    return c < 0x20 || c == 0x7f;
}

bool Put(char *out, size_t limit, size_t &length, char c)
{
    if (length >= limit)
        return false;
    out[length++] = c;
    return true;
}

const char *FindValue(const LSqlArgument *args, int count, const char *name, size_t nameLen)
{
    for (int i = 0; i < count; i++) {
        if (std::strlen(args[i].name) == nameLen && std::memcmp(args[i].name, name, nameLen) == 0)
            return args[i].value;
    }
    return nullptr;
}
} // namespace

bool LSqlAppendValue(char *out, size_t size, size_t &length, const char *value)
{
    if (size == 0)
        return false;
    size_t limit = size - 1;
    size_t kept = 0;
    bool fits = true;
    for (const char *p = value ? value : ""; *p && kept < kSqlValueMax && fits; p++) {
        if (IsControl(static_cast<unsigned char>(*p)))
            continue;
        kept++;
        // A quote and its double go in together or not at all.
        if (*p == '\'' && length + 2 > limit)
            fits = false;
        else if (*p == '\'')
            fits = Put(out, limit, length, '\'') && Put(out, limit, length, '\'');
        else
            fits = Put(out, limit, length, *p);
    }
    out[length] = 0;
    return fits;
}

bool LSqlExpandTemplate(char *out, size_t size, const char *sqlTemplate, const LSqlArgument *args,
                        int count)
{
    if (size == 0)
        return false;
    size_t bound = size < kSqlStatementMax + 1 ? size : kSqlStatementMax + 1;
    size_t length = 0;
    bool fits = true;
    const char *p = sqlTemplate ? sqlTemplate : "";
    while (*p && fits) {
        const char *close = *p == '%' ? std::strchr(p + 1, '%') : nullptr;
        if (!close) {
            fits = Put(out, bound - 1, length, *p++);
            continue;
        }
        const char *value = FindValue(args, count, p + 1, static_cast<size_t>(close - p - 1));
        if (value)
            fits = LSqlAppendValue(out, bound, length, value);
        p = close + 1;
    }
    out[fits ? length : 0] = 0;
    return fits;
}
