#include "service/control_protocol.h"

#include <cstring>

namespace LControl
{
std::string Encode(const Header &header, const void *payload, size_t size)
{
    std::string bytes(reinterpret_cast<const char *>(&header), sizeof header);
    if (payload && size)
        bytes.append(static_cast<const char *>(payload), size);
    return bytes;
}

std::string EncodeLogLine(int level, const char *text1, const char *text2)
{
    size_t length1 = std::strlen(text1) + 1;
    size_t length2 = std::strlen(text2) + 1;
    Header header;
    header.type = TypeLogLine;
    header.code = static_cast<uint32_t>(level);
    header.size = static_cast<uint32_t>(length1 + length2);
    header.extra = static_cast<uint32_t>(length1);
    std::string bytes = Encode(header);
    bytes.append(text1, length1);
    bytes.append(text2, length2);
    return bytes;
}

LogLine DecodeLogLine(const char *payload, uint32_t size, uint32_t firstLength)
{
    LogLine line;
    if (!payload || firstLength < 2 || firstLength >= size)
        return line;
    // Each text ends at its first zero or at the end of its own part, never
    // beyond, whatever the sender put in the length field.
    line.text1.assign(payload, strnlen(payload, firstLength - 1));
    const char *second = payload + firstLength;
    size_t room = size - firstLength;
    line.text2.assign(second, strnlen(second, room));
    return line;
}
} // namespace LControl
