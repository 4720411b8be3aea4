// The control panel's password at rest: a salted PBKDF2-HMAC-SHA256 hash
// (RFC 8018) through OpenSSL, stored as
// "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>". A value without that
// prefix is an older clear-text password.
#pragma once

#include <string>

constexpr int kWebPasswordIterations = 100000;

// A new hash with a fresh 16-byte salt; empty when no random bytes or no
// hash could be had.
std::string WebHashPassword(const char *password, int iterations = kWebPasswordIterations);

bool WebIsPasswordHash(const char *stored);

// Whether password matches the stored value (hash or clear text), compared
// in constant time.
bool WebCheckPassword(const char *stored, const char *password);
