#include "callcontrol/request_guards.h"

#include "platform/lock.h"
#include "platform/log.h"

#include <unordered_map>

struct LSourceCallLimiter::State {
    LLockObject lock;
    std::unordered_map<uint32_t, int> running;
};

LSourceCallLimiter::LSourceCallLimiter() : m_State(std::make_shared<State>()) {}

std::shared_ptr<void> LSourceCallLimiter::Take(const LIPAddressWithPort &source, int limit)
{
    uint32_t address = source.GetAddress();
    {
        LLockScope hold(m_State->lock);
        int &count = m_State->running[address];
        if (count >= limit) {
            if (count == 0)
                m_State->running.erase(address);
            return nullptr;
        }
        count++;
    }
    // The slot keeps the state alive, so a call may outlive the limiter.
    std::shared_ptr<State> state = m_State;
    return std::shared_ptr<void>(state.get(), [state, address](void *) {
        LLockScope hold(state->lock);
        auto found = state->running.find(address);
        if (found != state->running.end() && --found->second <= 0)
            state->running.erase(found);
    });
}

int LSourceCallLimiter::GetCount(const LIPAddressWithPort &source)
{
    LLockScope hold(m_State->lock);
    auto found = m_State->running.find(source.GetAddress());
    return found == m_State->running.end() ? 0 : found->second;
}

bool LHostAddressCache::IsHostOf(const char *hostText, const LIPAddressWithPort &source,
                                 int64_t now)
{
    constexpr int64_t kResolveSeconds = 60;
    constexpr size_t kMaxHosts = 256;
    LLockScope hold(m_Lock);
    if (m_Entries.size() >= kMaxHosts)
        m_Entries.clear();
    Entry &entry = m_Entries[hostText];
    if (!entry.resolvedAt || now - entry.resolvedAt >= kResolveSeconds) {
        entry.addresses.Clear();
        entry.addresses.SetFromText(hostText, 5060);
        entry.resolvedAt = now;
    }
    return entry.addresses.HasHost(source);
}

bool LPBXMayLogAbout(const LSipMessage &request, LPBXRequestGuards &guards, int64_t now)
{
    char source[32];
    request.GetSource().ToHostString(source);
    std::vector<std::string> summaries;
    bool allowed = guards.log.Allow(source, now, summaries);
    for (const std::string &line : summaries)
        LOGWARN(line.c_str());
    return allowed;
}

const LDigestChallengeKind kRegisterChallenge{"REGISTER", "Authorization", "WWW-Authenticate", 401,
                                              "Unauthorized"};
const LDigestChallengeKind kInviteChallenge{"INVITE", "Proxy-Authorization", "Proxy-Authenticate",
                                            407, "Proxy Authentication Required"};

bool LPBXSourceMayAuthenticate(const LSipMessage &request, const char *account,
                               LPBXRequestGuards &guards, LNewRequestResponder &responder,
                               int64_t now)
{
    if (guards.throttle.IsSourceAllowed(request.GetSource(), account, now))
        return true;
    responder.Respond(request, 403, "Forbidden", nullptr);
    return false;
}

std::string LPBXLocalRealm()
{
    char realm[260];
    return LSipGetLocalRealm(realm);
}

bool LPBXAuthenticate(const LSipMessage &request, const LDigestChallengeKind &kind,
                      const LDigestAccount &account, LPBXRequestGuards &guards,
                      LNewRequestResponder &responder, int64_t now)
{
    const LIPAddressWithPort &source = request.GetSource();
    if (!guards.throttle.IsAllowed(source, account.name, now)) {
        responder.Respond(request, 403, "Forbidden", nullptr);
        return false;
    }
    LDigestResult result = LSipCheckDigest(request, kind.credentialsField, kind.method, account,
                                           guards.realm.c_str(), guards.nonces, now);
    if (result == LDigestResult::Accepted) {
        guards.throttle.Succeeded(source, account.name, now);
        return true;
    }
    if (result == LDigestResult::Failed) {
        std::string line = guards.throttle.Failed(source, account.name, now);
        if (!line.empty())
            LOGWARN(line.c_str());
    }
    char challenge[768];
    LSipMakeChallenge(kind.challengeField, account, guards.realm.c_str(), guards.nonces, now,
                      result == LDigestResult::Stale, challenge, sizeof(challenge));
    responder.Respond(request, kind.status, kind.reason, challenge);
    return false;
}
