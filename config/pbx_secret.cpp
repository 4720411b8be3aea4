#include "config/pbx_secret.h"

#include "platform/log.h"
#include "platform/random.h"

namespace
{
constexpr unsigned kLetters = 26;
// Bytes at or above this value are rejected so that every letter has the
// same chance (256 is not a multiple of 26).
constexpr unsigned kRejectFrom = 256 - 256 % kLetters;
} // namespace

bool LPBXRandomLetters(char *out, size_t count)
{
    size_t filled = 0;
    unsigned char pool[64];
    while (filled < count) {
        // A password from a weak fallback source would be guessable: fail
        // instead, so that no record is created with it.
        if (!LRandomBytes(pool, sizeof pool)) {
            LOGERROR("No random source for a password");
            out[0] = 0;
            return false;
        }
        for (size_t i = 0; i < sizeof pool && filled < count; ++i) {
            if (pool[i] < kRejectFrom)
                out[filled++] = static_cast<char>('a' + pool[i] % kLetters);
        }
    }
    out[count] = 0;
    return true;
}

const char *CreateRandomExtensionPassword(char *out)
{
    LPBXRandomLetters(out, kPBXRandomPasswordLength);
    return out;
}
