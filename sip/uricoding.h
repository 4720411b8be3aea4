// Percent coding of URI parameters, URI headers and the computer name in
// Call-IDs (RFC 3986 section 2.1 escapes, upper-case hex on output).
#pragma once

#include <cstddef>

// Writes text with every reserved, control, space or 8-bit byte escaped as
// %XX (DEL passes unchanged). Output is cut at capacity - 1 characters (259 for the usual 260),
// never in the middle of an escape. Returns the output length.
size_t LURIEncode(char *out, size_t capacity, const char *text);

// Decodes text into out: '+' becomes a space, %XX the byte (a non-hex digit
// counts as 0), a decoded zero byte is dropped. Decoding stops at the end of
// the text, at a '%' cut off by the end, or before the first byte found in
// terminators. Output is cut at capacity - 1. Returns how many input bytes
// were consumed.
size_t LURIDecode(char *out, size_t capacity, const char *text, const char *terminators = "");

template <size_t N> inline size_t LURIEncode(char (&out)[N], const char *text)
{
    return LURIEncode(out, N, text);
}

template <size_t N> inline size_t LURIDecode(char (&out)[N], const char *text)
{
    return LURIDecode(out, N, text);
}
