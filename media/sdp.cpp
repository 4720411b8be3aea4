#include "media/sdp.h"

#include "media/sdp_text.h"

#include <algorithm>

LSDP::LSDPItem::LSDPItem(std::string_view key, std::string_view value)
    : key_(LSDPFieldText(key)), value_(LSDPFieldText(value))
{
}

void LSDP::LSDPItem::SetValue(std::string_view value)
{
    value_ = LSDPFieldText(value);
}

static bool IsKeyEnd(char c)
{
    return c == ' ' || c == '=' || c == '\r' || c == '\n' || c == '\0';
}

static bool IsLineBreak(char c)
{
    return c == '\r' || c == '\n' || c == '\0';
}

void LSDP::Load(std::string_view text)
{
    items_.clear();
    // A NUL byte ends the text as it would in a C string body.
    text = text.substr(0, text.find('\0'));
    // Sized once for the lines there can be (an offer has about ten; grown
    // one at a time the list moved four or five times), but a body of empty
    // lines must not reserve much more than it holds.
    size_t breaks = (size_t)std::max(std::count(text.begin(), text.end(), '\n'),
                                     std::count(text.begin(), text.end(), '\r'));
    items_.reserve(std::min(breaks + 1, kReserveMax));
    size_t pos = 0;
    const size_t size = text.size();
    while (true) {
        while (pos < size && (unsigned char)text[pos] < 33)
            ++pos;
        if (pos >= size)
            break;
        size_t start = pos;
        while (pos < size && !IsKeyEnd(text[pos]))
            ++pos;
        std::string_view key = text.substr(start, pos - start);
        while (pos < size && (text[pos] == ' ' || text[pos] == '='))
            ++pos;
        start = pos;
        while (pos < size && !IsLineBreak(text[pos]))
            ++pos;
        items_.emplace_back(key, text.substr(start, pos - start));
        // One line end: CR, LF, CR LF or LF CR.
        if (pos < size && IsLineBreak(text[pos])) {
            char first = text[pos++];
            if (pos < size && IsLineBreak(text[pos]) && text[pos] != first)
                ++pos;
        }
    }
}

void LSDP::Save(std::string &out) const
{
    out.clear();
    for (const LSDPItem &item : items_) {
        out += item.GetKey();
        out += '=';
        out += item.GetValue();
        out += "\r\n";
    }
}

void LSDP::SetField(std::string_view key, std::string_view value)
{
    for (LSDPItem &item : items_) {
        if (item.GetKey() == key) {
            item.SetValue(value);
            return;
        }
    }
    AddField(key, value);
}

void LSDP::AddField(std::string_view key, std::string_view value)
{
    items_.emplace_back(key, value);
}
