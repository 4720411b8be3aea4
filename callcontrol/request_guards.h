// The state that protects new-request handling from hostile senders: digest
// nonces, the brake on failed authentications, and the count of calls each
// unauthenticated source has running. One instance lives with the handler of
// new requests and is passed to the registrar and the INVITE classification.
#pragma once

#include "callcontrol/auth_throttle.h"
#include "callcontrol/digest.h"
#include "callcontrol/new_request_responder.h"
#include "config/pbx_global_settings.h"
#include "platform/log_limiter.h"

#include <memory>
#include <string>
#include <unordered_map>

class LSourceCallLimiter
{
  public:
    LSourceCallLimiter();
    // A slot held by the call for its lifetime; null when source already
    // runs limit calls.
    std::shared_ptr<void> Take(const LIPAddressWithPort &source, int limit);
    int GetCount(const LIPAddressWithPort &source);

  private:
    struct State;
    std::shared_ptr<State> m_State;
};

// Whether a source address is one that a host text ("host[:port]", a line's
// server or outbound proxy) resolves to. Names are looked up at most once a
// minute, so a flood of requests does not become a flood of DNS queries.
class LHostAddressCache
{
  public:
    bool IsHostOf(const char *hostText, const LIPAddressWithPort &source, int64_t now);

  private:
    struct Entry {
        LIPAddressMultiHomed addresses;
        int64_t resolvedAt = 0;
    };
    LLockObject m_Lock;
    std::unordered_map<std::string, Entry> m_Entries;
};

// The host name in the realm is read once, when the handler is made: it
// changes only with a restart, and reading it cost a system call per check.
std::string LPBXLocalRealm();

struct LPBXRequestGuards {
    std::string realm = LPBXLocalRealm();
    LDigestNonces nonces;
    LAuthThrottle throttle;
    LSourceCallLimiter calls;
    LHostAddressCache hosts;
    LLogRateLimiter log;
};

// Whether the warnings a request from outside causes may be written now (a
// flood is summed up instead); writes pending summary lines first.
bool LPBXMayLogAbout(const LSipMessage &request, LPBXRequestGuards &guards, int64_t now);

// How one kind of request is authenticated: REGISTER answers 401 with
// "WWW-Authenticate", INVITE 407 with "Proxy-Authenticate".
struct LDigestChallengeKind {
    const char *method;
    const char *credentialsField;
    const char *challengeField;
    int status;
    const char *reason;
};
extern const LDigestChallengeKind kRegisterChallenge;
extern const LDigestChallengeKind kInviteChallenge;

// False, with request answered 403, while its source is held off after
// failed authentications and has not authenticated the named account
// before; checked before any account is looked up.
bool LPBXSourceMayAuthenticate(const LSipMessage &request, const char *account,
                               LPBXRequestGuards &guards, LNewRequestResponder &responder,
                               int64_t now);

// True when request carries credentials that answer a current challenge of
// account. Otherwise it has been answered: with a new challenge, or with
// 403 while its source or account is held off after failed attempts.
bool LPBXAuthenticate(const LSipMessage &request, const LDigestChallengeKind &kind,
                      const LDigestAccount &account, LPBXRequestGuards &guards,
                      LNewRequestResponder &responder, int64_t now);
