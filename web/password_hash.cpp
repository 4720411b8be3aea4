#include "web/password_hash.h"

#include "platform/random.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace
{
constexpr const char *kPrefix = "pbkdf2-sha256$";
constexpr size_t kSaltBytes = 16;
constexpr size_t kHashBytes = 32;
constexpr int kMaxIterations = 10000000; // a stored value must not stall log-on

std::string Hex(const unsigned char *data, size_t len)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < len; i++) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

bool Unhex(const std::string &text, std::string &out)
{
    if (text.size() % 2)
        return false;
    out.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        char pair[3] = {text[i], text[i + 1], 0};
        char *end = nullptr;
        long value = strtol(pair, &end, 16);
        if (*end || !isxdigit((unsigned char)pair[0]))
            return false;
        out += (char)value;
    }
    return true;
}

bool Derive(const char *password, const std::string &salt, int iterations, unsigned char *out)
{
    return PKCS5_PBKDF2_HMAC(password, (int)strlen(password), (const unsigned char *)salt.data(),
                             (int)salt.size(), iterations, EVP_sha256(), kHashBytes, out) == 1;
}
} // namespace

std::string WebHashPassword(const char *password, int iterations)
{
    unsigned char salt[kSaltBytes], hash[kHashBytes];
    if (!LRandomBytes(salt, sizeof salt) ||
        !Derive(password, std::string((const char *)salt, sizeof salt), iterations, hash))
        return std::string();
    return kPrefix + std::to_string(iterations) + "$" + Hex(salt, sizeof salt) + "$" +
           Hex(hash, sizeof hash);
}

bool WebIsPasswordHash(const char *stored)
{
    return strncmp(stored, kPrefix, strlen(kPrefix)) == 0;
}

bool WebCheckPassword(const char *stored, const char *password)
{
    if (!WebIsPasswordHash(stored)) {
        size_t len = strlen(stored);
        return len == strlen(password) && CRYPTO_memcmp(stored, password, len) == 0;
    }
    std::string rest = stored + strlen(kPrefix);
    size_t d1 = rest.find('$'), d2 = rest.find('$', d1 == std::string::npos ? 0 : d1 + 1);
    if (d1 == std::string::npos || d2 == std::string::npos)
        return false;
    int iterations = atoi(rest.substr(0, d1).c_str());
    std::string salt, want;
    if (iterations < 1 || iterations > kMaxIterations ||
        !Unhex(rest.substr(d1 + 1, d2 - d1 - 1), salt) || !Unhex(rest.substr(d2 + 1), want) ||
        want.size() != kHashBytes)
        return false;
    unsigned char got[kHashBytes];
    return Derive(password, salt, iterations, got) &&
           CRYPTO_memcmp(got, want.data(), kHashBytes) == 0;
}
