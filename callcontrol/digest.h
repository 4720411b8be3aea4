// HTTP digest authentication (RFC 2617, without qop) as phones and the
// exchange use it: decoding a credentials header, computing the expected
// response, and the per-account nonce kept in the account's record.
#pragma once

#include "config/pbx_contact.h"
#include "platform/hashtable.h"
#include "sip/sip_request.h"
#include "sip/sipmessage.h"

#include <cstddef>
#include <cstdint>

// A nonce is trusted for this long after it was issued; older ones are
// answered with a fresh nonce and stale=TRUE (RFC 2617 section 3.2.1).
constexpr int64_t kNonceLifetimeSeconds = 300;

// Fills table from "Digest name=value, name="value", ..." (scheme in any
// case; names lower-cased; quotes removed, commas inside quotes kept).
// False when the scheme is not Digest.
bool LSipAuthenticationDecodeDigest(const char *value, LHashTable &table);

// LSipCreateAuthenticationResponse (the digest both sides compute) lives with
// the client side in sip/sip_request.h.

// "Vela@" + host name, lower-cased; out holds at least 260 characters.
const char *LSipGetLocalRealm(char *out);

// "v%dqaq%dw" with two random numbers below 100000 (unguessable, unlike
// clock values); out holds at least 32 characters.
void LSipMakeNonce(char *out, size_t capacity);

// Whether two URI texts name the same resource: scheme and host without
// case, user, password, port (given or not) and parameters exactly.
bool LSipSameURI(const char *a, const char *b);

// What one credentials check needs; the account supplies nonce state.
struct LDigestAccount {
    LPBXContactList *record;
    const char *digestUser;
    const char *password;
};

// Checks the credentials header (fieldName) of request for method. True
// when they answer the account's current, unexpired nonce. Otherwise stale
// says whether the client should simply retry with a new nonce.
bool LSipCheckDigest(const LSipMessage &request, const char *fieldName, const char *method,
                     const LDigestAccount &account, int64_t now, bool &stale);

// Makes the challenge header line "<fieldName>: Digest realm=...\r\n",
// issuing a new nonce when the account has none or its nonce has expired
// (stale then becomes true).
void LSipMakeChallenge(const char *fieldName, const LDigestAccount &account, int64_t now,
                       bool stale, char *out, size_t capacity);
