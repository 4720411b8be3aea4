// The list of line registrations, sending and the timer pass. Ticks are
// compared only through differences (platform/tick.h), so the timers stay
// right across the 32-bit wrap.
#include "sip/sip_line_register.h"

#include "platform/log.h"
#include "platform/tick.h"
#include "sip/siplayouts.h"

#include <algorithm>
#include <cstring>

namespace
{
constexpr uint32_t kNeverSentMs = 3601000;
constexpr int kSipPort = 5060;

bool Same(const char *a, const char *b)
{
    return strcmp(a, b) == 0;
}

// Seconds since 1970 at which a tick deadline falls.
int64_t UnixTimeOfTick(const LClock &clock, uint32_t now, uint32_t tick)
{
    return clock.UnixTime() + LTickDiff(tick, now) / 1000;
}
} // namespace

bool LSipProxyRegisterItem::Matches(const char *s, const char *p, const char *a, const char *l,
                                    const char *i, const char *w) const
{
    return Same(server, s) && Same(outboundProxy, p) && Same(addressOfRecord, a) &&
           Same(lineID, l) && Same(authID, i) && Same(password, w);
}

LSipProxyRegisterItem *LSipLineRegistrations::Find(const LSipLineRegistration &line)
{
    for (Item &item : m_Items)
        if (item.Matches(line.server.c_str(), line.proxy.c_str(), line.aor.c_str(),
                         line.lineID.c_str(), line.authID.c_str(), line.password.c_str()))
            return &item;
    return nullptr;
}

void LSipLineRegistrations::Add(const LSipLineRegistration &line)
{
    Item &item = m_Items.emplace_front();
    uint32_t now = m_Clock.Tick();
    item.lastSend = item.lastRegister = now - kNeverSentMs;
    item.nextDue = now;
    LSipCopy(item.server, line.server.c_str());
    LSipCopy(item.outboundProxy, line.proxy.c_str());
    LSipCopy(item.addressOfRecord, line.aor.c_str());
    LSipCopy(item.lineID, line.lineID.c_str());
    LSipCopy(item.authID, line.authID.c_str());
    LSipCopy(item.password, line.password.c_str());
    item.q = std::clamp(line.q, 0, 99);
    m_Host.CreateNewLocalTag(item.localTag, sizeof(item.localTag));
    m_Host.CreateNewCallId(item.callId, sizeof(item.callId));
}

void LSipLineRegistrations::Register(const char *server, const char *proxy, const char *aor,
                                     const char *lineID, const char *authID, const char *password,
                                     int q)
{
    LSipLineRegistration line{server, proxy, aor, lineID, authID, password, q};
    LLockScope hold(m_Lock);
    if (Item *item = Find(line))
        item->referenceCount++;
    else
        Add(line);
}

void LSipLineRegistrations::Unregister(const char *server, const char *proxy, const char *aor,
                                       const char *lineID, const char *authID, const char *password)
{
    LLockScope hold(m_Lock);
    for (auto it = m_Items.begin(); it != m_Items.end(); ++it) {
        if (!it->Matches(server, proxy, aor, lineID, authID, password))
            continue;
        if (it->referenceCount < 2) {
            SendUnregisterRequest(*it);
            m_Items.erase(it);
        } else
            it->referenceCount--;
        return;
    }
}

// A line deleted or changed in the panel must not stay bound at its
// provider until the binding expires (up to an hour, during which the
// provider keeps sending its calls here), and a line left as it was keeps
// its binding rather than registering again.
void LSipLineRegistrations::ReplaceAll(const std::vector<LSipLineRegistration> &lines)
{
    LLockScope hold(m_Lock);
    for (Item &item : m_Items)
        item.referenceCount = 0;
    for (const LSipLineRegistration &line : lines)
        if (Item *item = Find(line))
            item->referenceCount++;
        else
            Add(line);
    uint32_t now = m_Clock.Tick();
    for (auto it = m_Items.begin(); it != m_Items.end();) {
        if (it->referenceCount == 0) {
            SendUnregisterRequest(*it);
            it = m_Items.erase(it);
            continue;
        }
        if (!it->registered)
            it->nextDue = now;
        ++it;
    }
}

// A name that resolves slowly must not hold up the shutdown beyond the
// budget; the provider drops the binding at its expiry anyway. The bindings
// are gone, so an engine started again registers every line at once instead
// of waiting for the old refresh time.
void LSipLineRegistrations::UnregisterAllOnStop()
{
    LLockScope hold(m_Lock);
    uint32_t start = m_Clock.Tick();
    for (Item &item : m_Items) {
        if (m_Clock.Since(start) <= kUnregisterBudgetMs)
            SendUnregisterRequest(item);
        item.registered = false;
        item.registeredUntil = 0;
        item.nextDue = m_Clock.Tick();
    }
}

void LSipLineRegistrations::MarkAllDue()
{
    LLockScope hold(m_Lock);
    uint32_t now = m_Clock.Tick();
    for (Item &item : m_Items)
        item.nextDue = now;
}

size_t LSipLineRegistrations::GetCount()
{
    LLockScope hold(m_Lock);
    return m_Items.size();
}

std::vector<LSipLineStatus> LSipLineRegistrations::GetLineStatus()
{
    LLockScope hold(m_Lock);
    uint32_t now = m_Clock.Tick();
    std::vector<LSipLineStatus> out;
    for (const Item &item : m_Items) {
        LSipLineStatus status;
        status.server = item.server;
        status.lineID = item.lineID;
        status.registered = item.registered;
        status.registeredUntil = item.registeredUntil;
        status.lastStatus = item.lastStatus;
        status.lastReason = item.lastReason;
        // A line still being retried every 7 s is due now.
        status.nextAttempt = LTickReached(now, item.nextDue)
                                 ? m_Clock.UnixTime()
                                 : UnixTimeOfTick(m_Clock, now, item.nextDue);
        out.push_back(status);
    }
    return out;
}

// The engine thread also receives every datagram: a name server that does
// not answer must not stop the exchange while it waits (see LNameCache).
LNameLookup LSipLineRegistrations::ResolveProxy(const Item &item, LIPAddressWithPort &to)
{
    LNameLookup found = m_Host.ResolveServer(item.outboundProxy, kSipPort, to);
    return found == LNameLookup::Found && !to.IsValid() ? LNameLookup::Failed : found;
}

LNameLookup LSipLineRegistrations::SendRegisterRequest(Item &item, int expires)
{
    LIPAddressWithPort to;
    LNameLookup found = ResolveProxy(item, to);
    if (found == LNameLookup::Failed)
        SIPLOGERRORF("Unable to find address of server: %s", item.outboundProxy);
    if (found != LNameLookup::Found)
        return found;
    char branch[kSipLongText], ip[kSipLongText], domain[kSipLongText];
    int port = 0;
    m_Host.CreateNewBranchID(branch, sizeof(branch));
    m_Host.GetRegisterContact(ip, sizeof(ip), port);
    item.sequence++;
    LSipRegisterParts parts;
    LSipCopy(domain, item.server);
    parts.domain = domain;
    parts.localAddress = ip;
    parts.localPort = port;
    parts.branch = branch;
    parts.to = item.addressOfRecord;
    parts.from = item.addressOfRecord;
    parts.fromTag = item.localTag;
    parts.callId = item.callId;
    parts.sequence = item.sequence;
    parts.contactUser = item.lineID;
    parts.contactAddress = ip;
    parts.contactPort = port;
    parts.expires = expires;
    parts.quality = item.q;
    if (!item.authorization.empty()) {
        parts.authorization = item.authorization.c_str();
        parts.proxyAuthorization = !item.authorizationIsWWW;
    }
    std::string text;
    LSipComposeRegister(text, parts);
    m_Host.SendRegisterPacket(to, text);
    return LNameLookup::Found;
}

void LSipLineRegistrations::SendUnregisterRequest(Item &item)
{
    item.challengeAnswered = false;
    if (item.registered)
        SendRegisterRequest(item, 0);
}

// Only a public address sits behind a router whose mapping needs keeping.
void LSipLineRegistrations::SendRegisterKeepAlive(Item &item)
{
    LIPAddressWithPort to;
    if (ResolveProxy(item, to) == LNameLookup::Found && to.IsPublic())
        m_Host.SendRegisterKeepAlive(to);
}

uint32_t LSipLineRegistrations::TimerPass(uint32_t wait)
{
    LLockScope hold(m_Lock);
    uint32_t now = m_Clock.Tick();
    for (Item &item : m_Items) {
        TimerPassItem(item, now);
        int32_t t = LTickDiff(item.nextDue, now);
        if (t < (int32_t)wait)
            t = std::max(t, LTickDiff(item.lastRegister + kRetransmitMs, now));
        // The keep-alive goes out once 49 s have passed, so wake just then.
        t = std::min(t, LTickDiff(item.lastSend + kKeepAliveMs + 1, now));
        // The answer of the look-up wakes the engine; this is a fallback.
        if (item.resolving)
            t = std::max(t, (int32_t)kResolvePollMs);
        if (t < (int32_t)wait)
            wait = (uint32_t)std::max(t, 0);
    }
    return wait;
}

// Only REGISTERs space the repeats: a keep-alive sent just before a refresh
// falls due must not hold the refresh back towards the binding's expiry.
void LSipLineRegistrations::TimerPassItem(Item &item, uint32_t now)
{
    bool due =
        LTickReached(now, item.nextDue) && LTickInterval(now, item.lastRegister) >= kRetransmitMs;
    if (!due) {
        if (LTickInterval(now, item.lastSend) > kKeepAliveMs) {
            if (item.keepAliveActive)
                SendRegisterKeepAlive(item);
            item.lastSend = now;
        }
        return;
    }
    item.challengeAnswered = false;
    if (!item.attemptLogged) {
        item.attemptLogged = true;
        SIPLOGF("Attempting to register %s", item.addressOfRecord);
    }
    item.resolving = SendRegisterRequest(item, kRequestedExpiry) == LNameLookup::Pending;
    if (item.resolving)
        return;
    item.keepAliveActive = true;
    item.lastSend = item.lastRegister = now;
    if (LTickInterval(now, item.nextDue) >= kSilentMs) {
        SIPLOGERRORF("Server %s did not respond to register (user %s)", item.outboundProxy,
                     item.addressOfRecord);
        SIPLOGERROR("Check server details for that line");
        Fail(item, now, kSilentRetryMs, -1, "No response");
    }
}

void LSipLineRegistrations::Fail(Item &item, uint32_t now, uint32_t retryMs, int status,
                                 const char *reason)
{
    item.nextDue = now + retryMs;
    item.keepAliveActive = false;
    item.registered = false;
    item.registeredUntil = 0;
    item.lastStatus = status;
    LSipCopy(item.lastReason, reason);
}
