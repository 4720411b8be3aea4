// The low-level readers of the message parser. Each reads the bytes of text
// between position and length, advances position, and writes at most
// capacity - 1 bytes, silently dropping the rest of an over-long token.
#pragma once

#include <cstddef>

// A token ended by a space (consumed) or, without consuming it, by any byte
// below 32 taken as signed, so 8-bit bytes end a token too. Leading spaces
// are skipped. True when the token is non-empty.
bool LoadSpaceTerminatedString(const char *text, size_t length, size_t &position, char *out,
                               size_t capacity);

// A header name: ends at ':' (consumed) or, unconsumed, at a byte below 32
// (signed); spaces are dropped. Returns the length written (0: empty).
size_t LoadColonTerminatedString(const char *text, size_t length, size_t &position, char *out,
                                 size_t capacity);

// The rest of a line after leading spaces; the line end (CR LF, LF CR, or a
// lone CR or LF) is consumed. 8-bit bytes are kept. Returns the length
// written (0: empty).
size_t LoadLineTerminatedString(const char *text, size_t length, size_t &position, char *out,
                                size_t capacity);

// Consumes one line end at position, if there is one.
void SkipLineEnd(const char *text, size_t length, size_t &position);
