// Server nonces of digest authentication (RFC 7616 section 3.3, RFC 2617
// section 3.2.1), kept in memory rather than in the account's record: a
// challenge then costs no disk write, and a nonce lives no longer than the
// process that issued it (phones simply answer a new challenge).
//
// Every challenge gets its own nonce. A nonce carries its issue time and a
// keyed MD5 over time, a random part and the account, so issuing one keeps
// no state and a flood of unauthenticated requests cannot fill memory. State
// is kept only for nonces that authenticated a request: the highest nonce
// count seen (qop="auth"), or the source that used it (no qop).
#pragma once

#include "platform/ipaddress.h"
#include "platform/lock.h"

#include <cstdint>
#include <string>
#include <unordered_map>

class LDigestNonces
{
  public:
    // A nonce is trusted for this long after it was issued; older ones are
    // answered with a fresh nonce and stale=TRUE.
    static constexpr int64_t kLifetimeSeconds = 300;
    // Nonces that authenticated a request and are remembered at once; a
    // phone re-uses its nonce, so this bounds accounts in use, not requests.
    static constexpr size_t kMaxUsed = 65536;

    LDigestNonces();

    // A fresh nonce for a challenge of account (its name, any case).
    std::string Issue(const char *account, int64_t now);

    // Whether nonce was issued here for account and has not expired.
    bool IsValid(const char *nonce, const char *account, int64_t now) const;

    // Records one use of a nonce whose response has been verified. With
    // qop, nc (8 hex digits) must exceed every count seen for this nonce;
    // without qop, the nonce may be used again only from the source that
    // used it first. False when the use replays an earlier one.
    bool Consume(const char *nonce, bool qop, const char *nc, const LIPAddressWithPort &source,
                 int64_t now);

    size_t GetUsedCount();

  private:
    struct Used {
        int64_t issued = 0;
        uint32_t lastNc = 0;
        LIPAddressWithPort source; // first user, for answers without qop
    };
    std::string Mac(uint32_t issued, uint32_t salt, const char *account) const;
    void Prune(int64_t now);

    char m_Secret[33] = {0};
    LLockObject m_Lock;
    std::unordered_map<std::string, Used> m_Used;
    int64_t m_LastPrune = 0;
};
