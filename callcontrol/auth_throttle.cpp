#include "callcontrol/auth_throttle.h"

#include <cctype>

namespace
{
// An address that authenticated an account stays trusted this long.
constexpr int64_t kTrustSeconds = 3600;

std::string TrustKey(const std::string &account, const LIPAddressWithPort &source)
{
    return account + "|" + std::to_string(source.GetAddress());
}
} // namespace

std::string LAuthThrottle::AccountKey(const char *account)
{
    std::string key;
    for (const char *p = account; *p; p++)
        key += (char)tolower((unsigned char)*p);
    return key;
}

bool LAuthThrottle::IsTrusted(const std::string &key, const LIPAddressWithPort &source,
                              int64_t now) const
{
    auto trusted = m_Trusted.find(TrustKey(key, source));
    return trusted != m_Trusted.end() && now - trusted->second <= kTrustSeconds;
}

bool LAuthThrottle::IsSourceAllowed(const LIPAddressWithPort &source, const char *account,
                                    int64_t now)
{
    LLockScope hold(m_Lock);
    auto bySource = m_Sources.find(source.GetAddress());
    return bySource == m_Sources.end() || bySource->second.holdUntil <= now ||
           IsTrusted(AccountKey(account), source, now);
}

bool LAuthThrottle::IsAllowed(const LIPAddressWithPort &source, const char *account, int64_t now)
{
    if (!IsSourceAllowed(source, account, now))
        return false;
    LLockScope hold(m_Lock);
    std::string key = AccountKey(account);
    auto byAccount = m_Accounts.find(key);
    return byAccount == m_Accounts.end() || byAccount->second.holdUntil <= now ||
           IsTrusted(key, source, now);
}

bool LAuthThrottle::Count(Counter &counter, int limit, int64_t now)
{
    counter.lastSeen = now;
    if (now - counter.windowStart > m_Limits.windowSeconds) {
        counter.windowStart = now;
        counter.failures = 0;
        // A quiet window ends the escalation.
        if (counter.holdUntil + m_Limits.windowSeconds < now)
            counter.holdSeconds = 0;
    }
    if (++counter.failures < limit || counter.holdUntil > now)
        return false;
    counter.holdSeconds = counter.holdSeconds ? counter.holdSeconds * 2 : m_Limits.firstHoldSeconds;
    if (counter.holdSeconds > m_Limits.maxHoldSeconds)
        counter.holdSeconds = m_Limits.maxHoldSeconds;
    counter.holdUntil = now + counter.holdSeconds;
    counter.failures = 0;
    counter.windowStart = now;
    return true;
}

std::string LAuthThrottle::Failed(const LIPAddressWithPort &source, const char *account,
                                  int64_t now)
{
    LLockScope hold(m_Lock);
    Prune(m_Sources, now);
    Prune(m_Accounts, now);
    std::string key = AccountKey(account), line;
    char address[32];
    source.ToHostString(address);
    if (m_Sources.size() < kMaxEntries || m_Sources.count(source.GetAddress())) {
        Counter &counter = m_Sources[source.GetAddress()];
        if (Count(counter, m_Limits.sourceFailures, now))
            line = "Authentication failures from " + std::string(address) + ": refused for " +
                   std::to_string(counter.holdSeconds) + " s";
    }
    if (m_Accounts.size() < kMaxEntries || m_Accounts.count(key)) {
        Counter &counter = m_Accounts[key];
        if (Count(counter, m_Limits.accountFailures, now))
            line = (line.empty() ? "" : line + "; ") +
                   "authentication failures for an account: "
                   "unknown addresses refused for " +
                   std::to_string(counter.holdSeconds) + " s";
    }
    return line;
}

void LAuthThrottle::Succeeded(const LIPAddressWithPort &source, const char *account, int64_t now)
{
    LLockScope hold(m_Lock);
    if (m_Trusted.size() >= kMaxEntries)
        for (auto it = m_Trusted.begin(); it != m_Trusted.end();)
            it = now - it->second > kTrustSeconds ? m_Trusted.erase(it) : std::next(it);
    if (m_Trusted.size() < kMaxEntries)
        m_Trusted[TrustKey(AccountKey(account), source)] = now;
}

template <class Map> void LAuthThrottle::Prune(Map &map, int64_t now)
{
    if (map.size() < kMaxEntries / 2 || now == m_LastPrune)
        return;
    m_LastPrune = now;
    int64_t idle = m_Limits.windowSeconds + m_Limits.maxHoldSeconds;
    for (auto it = map.begin(); it != map.end();)
        it = now - it->second.lastSeen > idle && it->second.holdUntil <= now ? map.erase(it)
                                                                             : std::next(it);
}
