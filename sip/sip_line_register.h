// Registration of the external lines with their providers (RFC 3261 section
// 10): one item per distinct line, REGISTER sent and refreshed before the
// grant runs out, digest challenges answered once, the NAT binding kept open
// between refreshes, retries after failures, un-REGISTER at shutdown.
//
// The list lives inside the SIP engine: the engine thread runs TimerPass on
// every loop pass and hands every REGISTER response to HandleResponse. All
// item state is guarded by one lock, also held while sending.
#pragma once

#include "platform/clock.h"
#include "platform/ipaddress.h"
#include "platform/lock.h"
#include "platform/name_cache.h"
#include "sip/siptext.h"

#include <cstdint>
#include <list>
#include <string>
#include <vector>

class LSipMessage;

// What a registration needs from the engine that carries it.
class LSipLineRegisterHost
{
  public:
    virtual ~LSipLineRegisterHost() = default;
    virtual void SendRegisterPacket(const LIPAddressWithPort &to, const std::string &text) = 0;
    // The 4 zero bytes that keep the router's mapping open.
    virtual void SendRegisterKeepAlive(const LIPAddressWithPort &to) = 0;
    // "host[:port]" of a registrar, without blocking (see LNameCache).
    virtual LNameLookup ResolveServer(const char *text, int defaultPort,
                                      LIPAddressWithPort &to) = 0;
    // The pair other parties are to reach us at (always the public one).
    virtual void GetRegisterContact(char *ip, size_t capacity, int &port) = 0;
    virtual void CreateNewBranchID(char *out, size_t capacity) = 0;
    virtual void CreateNewLocalTag(char *out, size_t capacity) = 0;
    virtual void CreateNewCallId(char *out, size_t capacity) = 0;
};

// One line's registration as the control panel shows it.
struct LSipLineStatus {
    std::string server;
    std::string lineID;
    bool registered = false;
    int64_t registeredUntil = 0; // seconds since 1970, while registered
    int lastStatus = 0;          // last failure: SIP status, 0 = none, -1 = no answer
    std::string lastReason;
    int64_t nextAttempt = 0; // seconds since 1970
};

// Read side handed to whoever shows the registrations (the control panel).
class LSipLineStatusSource
{
  public:
    virtual ~LSipLineStatusSource() = default;
    virtual std::vector<LSipLineStatus> GetLineStatus() = 0;
};

// What one external line asks to be registered with.
struct LSipLineRegistration {
    std::string server, proxy, aor, lineID, authID, password;
    int q = 90;
};

struct LSipProxyRegisterItem {
    uint32_t lastSend = 0;     // last REGISTER or keep-alive
    uint32_t lastRegister = 0; // last REGISTER: spaces the repeats 7 s apart
    uint32_t nextDue = 0;
    bool keepAliveActive = false;
    char server[kSipLongText] = {0};
    char outboundProxy[kSipLongText] = {0};
    char addressOfRecord[kSipLongText] = {0};
    char lineID[kSipLongText] = {0};
    char authID[kSipLongText] = {0};
    char password[kSipLongText] = {0};
    std::string authorization;
    bool authorizationIsWWW = true; // "Authorization" (401) or "Proxy-Authorization" (407)
    bool challengeAnswered = false;
    char localTag[kSipLongText] = {0};
    char callId[kSipLongText] = {0};
    int sequence = 1; // raised before each REGISTER: the first carries 2
    int q = 90;
    int referenceCount = 1;
    bool attemptLogged = false;
    bool resolving = false; // due, but its server's name is still being looked up
    bool registered = false;
    // For the panel only.
    int64_t registeredUntil = 0;
    int lastStatus = 0;
    char lastReason[kSipMediumText] = {0};

    bool Matches(const char *server, const char *proxy, const char *aor, const char *lineID,
                 const char *authID, const char *password) const;
};

class LSipLineRegistrations : public LSipLineStatusSource
{
  public:
    static constexpr uint32_t kRetransmitMs = 7000;
    static constexpr uint32_t kSilentMs = 40000;
    static constexpr uint32_t kSilentRetryMs = 300000;
    static constexpr uint32_t kRefusedRetryMs = 600000;
    static constexpr uint32_t kKeepAliveMs = 49000;
    static constexpr uint32_t kRefreshAheadMs = 10000;
    static constexpr uint32_t kUnregisterBudgetMs = 2000;
    static constexpr int kRequestedExpiry = 3600;
    static constexpr int kMinExpiry = 20;
    static constexpr int kMaxExpiry = 86400;
    static constexpr int kKeepAliveAboveExpiry = 60;
    static constexpr uint32_t kResolvePollMs = 1000;

    LSipLineRegistrations(LSipLineRegisterHost &host, const LClock &clock)
        : m_Host(host), m_Clock(clock)
    {
    }

    void Register(const char *server, const char *proxy, const char *aor, const char *lineID,
                  const char *authID, const char *password, int q);
    void Unregister(const char *server, const char *proxy, const char *aor, const char *lineID,
                    const char *authID, const char *password);
    // Makes the list what lines name, after they were edited: an item still
    // named keeps its binding (one that is not registered is tried again at
    // once), one no longer named sends its un-REGISTER and goes, and a new
    // one is due at once.
    void ReplaceAll(const std::vector<LSipLineRegistration> &lines);
    // Sends the un-REGISTER of every item, giving up after 2000 ms.
    void UnregisterAllOnStop();
    // A new public address: every line registers again at once.
    void MarkAllDue();
    // Sends what is due and returns wait lowered to the next timer.
    uint32_t TimerPass(uint32_t wait);
    // True when the response belongs to a line (its Call-ID); only a
    // response to the line's last REGISTER is acted on.
    bool HandleResponse(const LSipMessage &response);

    std::vector<LSipLineStatus> GetLineStatus() override;
    size_t GetCount();

  private:
    using Item = LSipProxyRegisterItem;
    Item *Find(const LSipLineRegistration &line);
    void Add(const LSipLineRegistration &line);
    LNameLookup ResolveProxy(const Item &item, LIPAddressWithPort &to);
    // Found: sent. Pending: nothing sent yet, the server's name is being
    // looked up. Failed: logged, nothing sent.
    LNameLookup SendRegisterRequest(Item &item, int expires);
    void SendUnregisterRequest(Item &item);
    void SendRegisterKeepAlive(Item &item);
    void TimerPassItem(Item &item, uint32_t now);
    void HandleSuccess(Item &item, const LSipMessage &response, uint32_t now);
    void HandleChallenge(Item &item, const LSipMessage &response, uint32_t now);
    void Fail(Item &item, uint32_t now, uint32_t retryMs, int status, const char *reason);
    int GrantedExpiry(const LSipMessage &response);

    LSipLineRegisterHost &m_Host;
    const LClock &m_Clock;
    LLockObject m_Lock;
    std::list<Item> m_Items; // newest first
};
