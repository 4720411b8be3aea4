// HTTP digest authentication (RFC 2617, RFC 7616 with qop="auth") as phones
// and the exchange use it: decoding a credentials header, computing the
// expected response, and challenging with per-challenge nonces.
#pragma once

#include "callcontrol/digest_nonces.h"
#include "platform/hashtable.h"
#include "sip/sip_request.h"
#include "sip/sipmessage.h"

#include <cstddef>
#include <cstdint>

// LSipAuthenticationDecodeDigest and LSipCreateAuthenticationResponse (what
// both sides decode and compute) live with the client side in sip/sip_request.h.

// "Vela@" + host name, lower-cased; out holds at least 260 characters.
const char *LSipGetLocalRealm(char *out);

// Whether two URI texts name the same resource: scheme and host without
// case, user, password, port (given or not) and parameters exactly.
bool LSipSameURI(const char *a, const char *b);

// What one credentials check needs. password is null for a name that
// names no account: such a request is challenged and refused exactly like
// one with a wrong password, so answers do not tell which names exist.
struct LDigestAccount {
    const char *name; // the account's name, the key of its nonces
    const char *digestUser;
    const char *password;
};

enum class LDigestResult {
    Missing,  // no digest credentials
    Accepted, // answer the current challenge of this account
    Stale,    // right password, but the nonce is unknown, expired or replayed
    Failed,   // wrong password, wrong target or unusable credentials
};

// The RFC 2617 / RFC 7616 response with qop="auth" (nc, cnonce and qop
// joined in) or, when qop is empty, without it.
void LSipDigestResponse(const char *user, const char *realm, const char *password,
                        const char *method, const char *uri, const char *nonce, const char *nc,
                        const char *cnonce, const char *qop, char out[33]);

// Checks the credentials header (fieldName) of request for method against
// the local realm (LSipGetLocalRealm's text).
LDigestResult LSipCheckDigest(const LSipMessage &request, const char *fieldName, const char *method,
                              const LDigestAccount &account, const char *realm,
                              LDigestNonces &nonces, int64_t now);

// Makes the challenge header line "<fieldName>: Digest realm=...\r\n" with
// a fresh nonce for the account, offering qop="auth".
void LSipMakeChallenge(const char *fieldName, const LDigestAccount &account, const char *realm,
                       LDigestNonces &nonces, int64_t now, bool stale, char *out, size_t capacity);
