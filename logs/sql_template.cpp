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

const LSqlArgument *FindArgument(const LSqlArgument *args, int count, const char *name,
                                 size_t nameLen)
{
    for (int i = 0; i < count; i++) {
        if (std::strlen(args[i].name) == nameLen && std::memcmp(args[i].name, name, nameLen) == 0)
            return &args[i];
    }
    return nullptr;
}

LSqlParameter MakeParameter(const LSqlArgument &arg)
{
    LSqlParameter parameter;
    parameter.number = arg.number;
    for (const char *p = arg.value ? arg.value : ""; *p && parameter.value.size() < kSqlValueMax;
         p++)
        if (!IsControl(static_cast<unsigned char>(*p)))
            parameter.value += *p;
    return parameter;
}
} // namespace

bool LSqlPrepareTemplate(char *out, size_t size, const char *sqlTemplate, const LSqlArgument *args,
                         int count, std::vector<LSqlParameter> &parameters)
{
    parameters.clear();
    if (size == 0)
        return false;
    size_t limit = (size < kSqlStatementMax + 1 ? size : kSqlStatementMax + 1) - 1;
    size_t length = 0;
    bool fits = true;
    const char *p = sqlTemplate ? sqlTemplate : "";
    while (*p && fits) {
        const char *close = *p == '%' ? std::strchr(p + 1, '%') : nullptr;
        if (!close) {
            fits = Put(out, limit, length, *p++);
            continue;
        }
        const LSqlArgument *arg =
            FindArgument(args, count, p + 1, static_cast<size_t>(close - p - 1));
        p = close + 1;
        if (!arg)
            continue;
        // '%name%': the quotes belonged to the text form of the value.
        bool quoted = length > 0 && out[length - 1] == '\'' && *p == '\'';
        if (quoted) {
            length--;
            p++;
        }
        fits = Put(out, limit, length, '?');
        parameters.push_back(MakeParameter(*arg));
    }
    out[fits ? length : 0] = 0;
    if (!fits)
        parameters.clear();
    return fits;
}
