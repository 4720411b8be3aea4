// MD5 message digest (RFC 1321), as HTTP digest authentication needs it.
// Digests are written as 32 lower-case hexadecimal characters.
#pragma once

#include <cstddef>
#include <cstdint>

class LMD5
{
  public:
    static constexpr int DigestSize = 16;
    static constexpr int HexSize = 33; // 32 characters and the terminator

    LMD5() { Reset(); }
    void Reset();
    void Update(const void *data, size_t length);
    void Update(const char *text); // nullptr adds nothing
    // Finishes and writes the 16-byte digest; the object must be Reset to be
    // used again.
    void Final(uint8_t digest[DigestSize]);
    // Finishes and writes the lower-case hexadecimal digest.
    void FinalHex(char out[HexSize]);

    // One-shot digest of a text.
    static void HexOf(const char *text, char out[HexSize]);
    static void ToHex(const uint8_t digest[DigestSize], char out[HexSize]);

  private:
    void Transform(const uint8_t block[64]);
    uint32_t m_state[4];
    uint64_t m_bytes;
    uint8_t m_buffer[64];
};
