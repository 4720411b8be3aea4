// Small text helpers shared by the SIP codec: bounded copies into the fixed
// character arrays of the message model, case-insensitive comparisons and a
// printf-style append for composed messages.
#pragma once

#include <cstddef>
#include <string>

// The usual capacities of the message model (usable length + terminator).
constexpr size_t kSipShortText = 32;
constexpr size_t kSipMediumText = 128;
constexpr size_t kSipLongText = 260;

// Copies at most capacity - 1 bytes of src[0..length) and terminates; longer
// text is cut, never rejected.
void LSipCopyText(char *dest, size_t capacity, const char *src, size_t length);
void LSipCopyText(char *dest, size_t capacity, const char *src);

template <size_t N> inline void LSipCopy(char (&dest)[N], const char *src)
{
    LSipCopyText(dest, N, src);
}

template <size_t N> inline void LSipCopy(char (&dest)[N], const char *src, size_t length)
{
    LSipCopyText(dest, N, src, length);
}

// ASCII case folding only: header names and schemes are ASCII, and the codec
// handles text as bytes without any character-set conversion.
inline char LSipLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c + ('a' - 'A')) : c;
}
inline const char *LSipSkipWhite(const char *text)
{
    while (*text == ' ' || *text == '\t')
        text++;
    return text;
}
// Length of text[0..length) without trailing spaces and tabs.
size_t LSipTrimmedLength(const char *text, size_t length);

bool LSipEqualNoCase(const char *a, const char *b);
bool LSipEqualNoCase(const char *a, size_t length, const char *b);
bool LSipStartsNoCase(const char *text, const char *prefix);

// Decimal value of the leading digits after optional spaces, saturated at
// limit; no digit (a sign included) yields fallback. Never reads past length.
unsigned long LSipParseDecimal(const char *text, size_t length, unsigned long limit,
                               unsigned long fallback);

// Room reserved for a composed message: most fit without a reallocation.
constexpr size_t kSipComposeReserve = 1536;

void LSipAppendF(std::string &out, const char *format, ...) __attribute__((format(printf, 2, 3)));
