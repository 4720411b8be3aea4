// Random values from the kernel's cryptographic generator (getrandom), for
// identifiers that must not be guessable: tags, Call-IDs, nonces.
#pragma once

#include <cstddef>
#include <cstdint>

// Fills buffer with count random bytes; false (and a log line) only when the
// kernel source is unusable.
bool LRandomBytes(void *buffer, size_t count);

// A uniformly distributed 32-bit value.
uint32_t LRandom32();

// A uniform value in [0, bound) without modulo bias; 0 when bound is 0.
uint32_t LRandomBelow(uint32_t bound);

// Writes count characters drawn uniformly from alphabet (default: the 52
// ASCII letters) and a terminator, so out needs count + 1 characters.
constexpr const char *LRandomLettersDefault =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
void LRandomLetters(char *out, int count, const char *alphabet = LRandomLettersDefault);
