// Slows down password guessing: failed digest checks are counted per source
// address and per account name (known or not, so the answers do not tell
// which names exist). Past a few failures the source, or the account for
// every source that has not authenticated it before, is refused with 403
// for a while; each further burst doubles that time.
#pragma once

#include "platform/ipaddress.h"
#include "platform/lock.h"

#include <cstdint>
#include <string>
#include <unordered_map>

class LAuthThrottle
{
  public:
    struct Limits {
        int sourceFailures = 8;   // failures of one source before it is held off
        int accountFailures = 20; // failures on one account before it is held off
        int64_t windowSeconds = 60;
        int64_t firstHoldSeconds = 4;
        int64_t maxHoldSeconds = 300;
    };
    // Bounds the memory an attacker with many addresses or names can take.
    static constexpr size_t kMaxEntries = 65536;

    LAuthThrottle() = default;
    explicit LAuthThrottle(const Limits &limits) : m_Limits(limits) {}

    // Whether a request from source for account may be checked now; false
    // means it is to be refused at once.
    bool IsAllowed(const LIPAddressWithPort &source, const char *account, int64_t now);
    // The source part alone: checked before any account is looked up, so a
    // held flood costs as little as possible. A held source may still use
    // an account it authenticated before: the other ports of an adapter, or
    // the other phones behind one router, go on while one of them keeps
    // failing.
    bool IsSourceAllowed(const LIPAddressWithPort &source, const char *account, int64_t now);
    // A failed check. Returns the text of a log line when this failure starts
    // a hold (once per burst), otherwise an empty text.
    std::string Failed(const LIPAddressWithPort &source, const char *account, int64_t now);
    // A successful check: the source's address may use the account even
    // while the account is held off for others.
    void Succeeded(const LIPAddressWithPort &source, const char *account, int64_t now);

  private:
    struct Counter {
        int failures = 0;
        int64_t windowStart = 0;
        int64_t holdUntil = 0;
        int64_t holdSeconds = 0; // the last hold; doubles while bursts go on
        int64_t lastSeen = 0;
    };
    bool IsTrusted(const std::string &key, const LIPAddressWithPort &source, int64_t now) const;
    // True when this failure started a hold.
    bool Count(Counter &counter, int limit, int64_t now);
    template <class Map> void Prune(Map &map, int64_t now);
    static std::string AccountKey(const char *account);

    Limits m_Limits;
    LLockObject m_Lock;
    std::unordered_map<uint32_t, Counter> m_Sources;
    std::unordered_map<std::string, Counter> m_Accounts;
    // "account|address" pairs that authenticated.
    std::unordered_map<std::string, int64_t> m_Trusted;
    int64_t m_LastPrune = 0;
};
