// Responses to a line's REGISTER: the granted expiry, provisional answers,
// digest challenges and refusals.
#include "platform/log.h"
#include "platform/tick.h"
#include "sip/commalist.h"
#include "sip/sip_line_register.h"
#include "sip/sip_request.h"
#include "sip/sipmessage.h"
#include "sip/sipnameaddr.h"
#include "sip/sipuri.h"

#include <algorithm>
#include <cstring>

namespace
{
// Both limits lie far beyond any expiry in seconds we accept, so a saturated
// value is simply "large" and is clamped afterwards.
constexpr unsigned long kParseLimit = 0x7fffffffUL;

long ParseSeconds(const char *text)
{
    return (long)LSipParseDecimal(text, strlen(text), kParseLimit, 0);
}

// "CSeq: <number> REGISTER" of the line's last request. A response to an
// earlier REGISTER, or one made up by someone who learnt the Call-ID, must
// not move the schedule (RFC 3261 section 8.1.3.3 matches by CSeq too).
bool IsAnswerTo(const LSipMessage &response, int sequence)
{
    const char *cseq = response.FindField(LSipFields::CSeq, "");
    const char *cursor = LSipSkipWhite(cseq);
    size_t digits = strspn(cursor, "0123456789");
    if (digits == 0 || digits > 10)
        return false;
    if (LSipParseDecimal(cursor, digits, kParseLimit, 0) != (unsigned long)sequence)
        return false;
    return strcmp(LSipSkipWhite(cursor + digits), "REGISTER") == 0;
}
} // namespace

bool LSipLineRegistrations::HandleResponse(const LSipMessage &response)
{
    const char *callId = response.FindField(LSipFields::CallID, "");
    LLockScope hold(m_Lock);
    for (Item &item : m_Items) {
        if (strcmp(item.callId, callId) != 0)
            continue;
        if (!IsAnswerTo(response, item.sequence))
            return true;
        uint32_t now = m_Clock.Tick();
        int status = response.GetResponseStatusCode();
        if (status >= 200 && status < 300)
            HandleSuccess(item, response, now);
        else if (status < 200)
            item.lastSend = item.lastRegister = now;
        else if (status == 401 || status == 407)
            HandleChallenge(item, response, now);
        else {
            SIPLOGERRORF("Register attempt for proxy %s failed", item.addressOfRecord);
            SIPLOGERRORF("%d %s", status, response.GetResponseReasonPhrase());
            Fail(item, now, kRefusedRetryMs, status, response.GetResponseReasonPhrase());
        }
        return true;
    }
    return false;
}

// The expiry a 2xx grants (RFC 3261 section 10.2.4): the Expires header,
// lowered to the expiry of our own Contact, and to the largest expiry listed
// when all are shorter. Clamped before any millisecond arithmetic: a huge
// value would overflow the tick and make the refresh due at once (a flood)
// or never.
int LSipLineRegistrations::GrantedExpiry(const LSipMessage &response)
{
    long expires = ParseSeconds(response.FindField(LSipFields::Expires, "0"));
    if (expires <= 0)
        expires = kRequestedExpiry;
    char ip[kSipLongText];
    int port = 0;
    m_Host.GetRegisterContact(ip, sizeof(ip), port);
    long largest = 0;
    for (size_t i = 0; i < response.GetFieldCount(); i++) {
        const LSipMessage::LHeaderField &field = response.GetFieldAt(i);
        if (!field.IsField(LSipFields::Contact))
            continue;
        LCommaSeparatedListIteratorTemplate<char> entries(field.GetFieldData());
        while (entries.Next()) {
            LSipNameAddr entry(entries.GetItem());
            long e = ParseSeconds(entry.GetHeaderField("expires", "0"));
            if (e <= 0)
                continue;
            LSipURI uri(entry.GetSipURI());
            if (LSipEqualNoCase(uri.GetHost(), ip) && uri.GetPort() == port)
                expires = std::min(expires, e);
            largest = std::max(largest, e);
        }
    }
    if (largest > 0 && largest < expires)
        expires = largest;
    return (int)std::clamp<long>(expires, kMinExpiry, kMaxExpiry);
}

void LSipLineRegistrations::HandleSuccess(Item &item, const LSipMessage &response, uint32_t now)
{
    int expires = GrantedExpiry(response);
    item.nextDue = now + (uint32_t)expires * 1000 - kRefreshAheadMs;
    item.keepAliveActive = expires > kKeepAliveAboveExpiry;
    item.registeredUntil = m_Clock.UnixTime() + expires;
    if (!item.registered) {
        item.registered = true;
        SIPLOGF("Registered as: %s", item.addressOfRecord);
    }
}

// Credentials are sent once per challenge: a second challenge that is not
// marked stale refuses them (RFC 2617 section 3.2.1), and sending them
// again would only loop.
void LSipLineRegistrations::HandleChallenge(Item &item, const LSipMessage &response, uint32_t now)
{
    int status = response.GetResponseStatusCode();
    const char *reason = response.GetResponseReasonPhrase();
    if (!item.password[0]) {
        SIPLOGERRORF("Register authorization failed for %s@%s", item.lineID, item.server);
        SIPLOGERRORF("Error returned : %d %s", status, reason);
        SIPLOGERROR("Enter a password for this proxy server.");
        item.registered = false;
        item.registeredUntil = 0;
        item.lastStatus = status;
        LSipCopy(item.lastReason, reason);
        return;
    }
    bool www = status == 401;
    LHashTable parameters;
    bool answerable = LSipDecodeDigestChallenge(response, parameters);
    if (!answerable || (item.challengeAnswered && !LSipDigestIsStale(parameters))) {
        SIPLOGERRORF("Register authorization failed for %s@%s", item.lineID, item.server);
        SIPLOGERRORF("Error returned : %d %s", status, reason);
        if (answerable)
            SIPLOGERROR("Check username or password for the proxy server.");
        else
            SIPLOGERRORF("No MD5 digest challenge to answer (algorithm \"%.40s\")",
                         parameters.GetParm("algorithm", "none"));
        Fail(item, now, kRefusedRetryMs, status, reason);
        return;
    }
    std::string uri = std::string("sip:") + item.server;
    item.authorization =
        LSipDigestAnswer(parameters, item.authID, item.password, "REGISTER", uri.c_str());
    item.authorizationIsWWW = www;
    SendRegisterRequest(item, kRequestedExpiry);
    item.lastSend = item.lastRegister = now;
    item.challengeAnswered = true;
}
