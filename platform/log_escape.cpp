#include "platform/log_escape.h"

std::string LLogEscape(const char *text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (const char *p = text; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (c >= 0x20 && c != 0x7f) {
            out += (char)c;
            continue;
        }
        out += "\\x";
        out += hex[c >> 4];
        out += hex[c & 15];
    }
    return out;
}
