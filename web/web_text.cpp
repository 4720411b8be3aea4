#include "web/web_text.h"

#include "platform/hashtable.h"

#include <cstring>
#include <strings.h>

namespace
{
bool IsLineBreak(char c)
{
    return c == '\r' || c == '\n';
}

// Length of the line break at p (0 when none): CR, LF, CR LF or LF CR.
size_t LineBreakLength(const char *p)
{
    if (!IsLineBreak(p[0]))
        return 0;
    if (IsLineBreak(p[1]) && p[1] != p[0])
        return 2;
    return 1;
}

} // namespace

void WebHtmlEncode(std::string &out, const char *text)
{
    if (!text)
        return;
    const char *p = text;
    while (*p) {
        size_t br = LineBreakLength(p);
        if (br) {
            p += br;
            size_t second = LineBreakLength(p);
            if (second) {
                p += second;
                out += "<p>";
            } else {
                out += "<br>";
            }
            continue;
        }
        switch (*p) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += *p;
        }
        p++;
    }
}

void WebUrlEncode(std::string &out, const char *text)
{
    if (!text)
        return;
    LStringLong encoded;
    int len = (int)strlen(text);
    encoded.GrowToSize(len * 3);
    LHTTPEncode(text, len, encoded);
    out.append(encoded.GetString(), (size_t)encoded.GetLength());
}

std::string WebUrlDecode(const char *text, size_t len)
{
    LStringLong decoded;
    decoded.GrowToSize((int)len); // one allocation instead of one per byte
    LHTTPDecode(text, (int)len, decoded);
    return std::string(decoded.GetString(), (size_t)decoded.GetLength());
}

std::string WebTrim(const std::string &text)
{
    static const char space[] = " \t\r\n";
    size_t start = text.find_first_not_of(space);
    if (start == std::string::npos)
        return std::string();
    size_t end = text.find_last_not_of(space);
    return text.substr(start, end - start + 1);
}

bool WebEqualNoCase(const char *a, const char *b)
{
    return strcasecmp(a, b) == 0;
}
