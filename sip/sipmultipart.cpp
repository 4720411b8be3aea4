#include "sip/sipmultipart.h"

#include "sip/sipmessage.h"
#include "sip/sipreaders.h"

#include <cstring>
#include <string_view>

bool LSipFindBoundary(const char *contentType, char *out, size_t capacity)
{
    const char *separators = "&; ";
    const char *item = contentType + strcspn(contentType, separators);
    while (*item) {
        item += strspn(item, separators);
        size_t itemLength = strcspn(item, separators);
        size_t nameLength = strcspn(item, "=&; ");
        if (nameLength < itemLength && LSipEqualNoCase(item, nameLength, "boundary")) {
            const char *value = item + nameLength + 1;
            size_t valueLength = itemLength - nameLength - 1;
            // boundary="abc": the quotes are not part of the delimiter.
            if (valueLength >= 2 && value[0] == '"' && value[valueLength - 1] == '"') {
                value++;
                valueLength -= 2;
            }
            LSipCopyText(out, capacity, value, valueLength);
            return valueLength > 0;
        }
        item += itemLength;
    }
    return false;
}

namespace
{
bool IsNameEnd(char c)
{
    return c == ' ' || c == '\r' || c == '\n' || c == ':';
}

// Reads the header lines of one part from part[position..length); returns
// the type given by its last Content-Type line, and leaves position at the
// start of the part's body.
void ReadPartHeaders(const char *part, size_t length, size_t &position, char *type, size_t capacity)
{
    type[0] = 0;
    while (position < length) {
        size_t nameStart = position;
        while (position < length && !IsNameEnd(part[position]))
            position++;
        std::string_view name(part + nameStart, position - nameStart);
        if (name.empty()) {
            SkipLineEnd(part, length, position);
            return;
        }
        while (position < length && (part[position] == ' ' || part[position] == ':'))
            position++;
        size_t valueStart = position;
        while (position < length && !strchr("; \r\n", part[position]))
            position++;
        if (LSipEqualNoCase(name.data(), name.size(), "Content-Type") ||
            LSipEqualNoCase(name.data(), name.size(), "c"))
            LSipCopyText(type, capacity, part + valueStart, position - valueStart);
        while (position < length && part[position] != '\r' && part[position] != '\n')
            position++;
        SkipLineEnd(part, length, position);
    }
}
} // namespace

void LSipLoadMultipart(LSipMessage &message, const char *contentType, const char *body,
                       size_t length)
{
    char boundary[kSipLongText];
    if (!LSipFindBoundary(contentType, boundary, sizeof(boundary)))
        return;
    std::string delimiter = std::string("\r\n--") + boundary;
    std::string_view text(body, length);
    // RFC 2046 lets the first delimiter open the body without the CR LF that
    // precedes every other one; look for it as if that CR LF were there.
    size_t found = text.starts_with(delimiter.substr(2)) ? 0 : text.find(delimiter);
    size_t skip =
        (found == 0 && !text.starts_with(delimiter)) ? delimiter.size() - 2 : delimiter.size();
    while (found != std::string_view::npos) {
        size_t position = found + skip;
        if (position < length && text[position] == '-')
            return;
        while (position < length && text[position] != '\r' && text[position] != '\n')
            position++;
        SkipLineEnd(body, length, position);
        char type[kSipLongText];
        ReadPartHeaders(body, length, position, type, sizeof(type));
        found = text.find(delimiter, position);
        skip = delimiter.size();
        size_t end = (found == std::string_view::npos) ? length : found;
        if (type[0] && end >= position)
            message.AddContent(type, body + position, end - position);
    }
}
