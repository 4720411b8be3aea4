// The byte protocol between desktop windows and the background service: a
// 16-byte header in host byte order, then the payload when its size is not
// zero. Both sides are on the same machine, so no byte swapping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace LControl
{
constexpr uint16_t kMagic = 0x1234;
// In requests: a size is given but no payload follows.
constexpr uint16_t kNoPayloadFlag = 0x8000;
// Larger payloads are hostile or broken; the connection is closed on them
// before anything is allocated.
constexpr uint32_t kMaxPayload = 1024 * 1024;

enum Type : uint16_t {
    TypeControl = 1,           // Control(code, payload, size), no reply
    TypeControlWithResult = 2, // reply TypeReply with the result
    TypeControlWithData = 3,   // reply TypeReply followed by returned data
    TypeNotify = 17,           // engine notification
    TypeReply = 18,
    TypeLogLine = 19,
};

struct Header {
    uint16_t magic = kMagic;
    uint16_t type = 0;
    uint32_t code = 0;  // code, result or log level
    uint32_t size = 0;  // payload bytes
    uint32_t extra = 0; // request number, data size, or first-text length
};
static_assert(sizeof(Header) == 16, "the header is 16 bytes on the wire");

// Header then payload, ready to write.
std::string Encode(const Header &header, const void *payload = nullptr, size_t size = 0);
std::string EncodeLogLine(int level, const char *text1, const char *text2);

// The two texts of a log-line payload. Both are terminated inside the
// payload's own bytes; a first-text length below 2 (nothing but a
// terminator, or less) or beyond the payload gives two empty texts.
struct LogLine {
    std::string text1;
    std::string text2;
};
LogLine DecodeLogLine(const char *payload, uint32_t size, uint32_t firstLength);
} // namespace LControl
