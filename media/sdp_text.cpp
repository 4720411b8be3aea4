#include "media/sdp_text.h"

#include <climits>

std::string LSDPFieldText(std::string_view text)
{
    return std::string(text.substr(0, kSDPTextMax));
}

static char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool LSDPEqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

static bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n' || c == '\0';
}

std::string_view LSDPCursor::GetUpTo(std::string_view stops)
{
    size_t start = pos_;
    while (pos_ < text_.size() && !IsLineEnd(text_[pos_]) &&
           stops.find(text_[pos_]) == std::string_view::npos)
        ++pos_;
    return text_.substr(start, pos_ - start);
}

std::string_view LSDPCursor::GetToken()
{
    size_t start = pos_;
    while (pos_ < text_.size() && (unsigned char)text_[pos_] >= 33)
        ++pos_;
    return text_.substr(start, pos_ - start);
}

void LSDPCursor::SkipAny(std::string_view chars)
{
    while (pos_ < text_.size() && chars.find(text_[pos_]) != std::string_view::npos)
        ++pos_;
}

void LSDPCursor::SkipWhite()
{
    while (pos_ < text_.size() && (unsigned char)text_[pos_] < 33 && !IsLineEnd(text_[pos_]))
        ++pos_;
}

std::string_view LSDPCursor::GetRest()
{
    return GetUpTo("");
}

bool LSDPParseInt(std::string_view text, long &value)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    long result = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        int d = text[i] - '0';
        result = (result > (LONG_MAX - d) / 10) ? LONG_MAX : result * 10 + d;
    }
    if (digits == 0)
        return false;
    value = negative ? -result : result;
    return true;
}

uint16_t LSDPParsePort(std::string_view text)
{
    long value = 0;
    if (!LSDPParseInt(text, value) || value < 1 || value > 65535)
        return 0;
    return uint16_t(value);
}
