// The stateless proxy: a SUBSCRIBE or NOTIFY outside any dialog is passed
// to every live contact of the extension its Request-URI names, and a
// response nobody else claimed goes back along its Via headers (RFC 3261
// section 16.11). Presence, busy lamps and message waiting between phones
// and the companion applications use it; the exchange keeps no state.
#pragma once

#include "callcontrol/contact_store.h"
#include "callcontrol/source_rate_limiter.h"
#include "platform/clock.h"
#include "platform/ipaddress.h"
#include "platform/log_limiter.h"
#include "sip/sip_answered_cache.h"
#include "sip/sip_handlers.h"

#include <cstddef>
#include <vector>

class LPBXExtension;

// What the proxy needs from the SIP engine, handed in by whoever builds it.
class LPBXProxyTransport : public LSipPacketSender
{
  public:
    // Answers request from the exchange itself, through the response cache;
    // extraHeaders (each ending in CRLF) may be null.
    virtual void Respond(const LSipMessage &request, int status, const char *reason,
                         const char *extraHeaders) = 0;
    // The advertised pairs; host is empty while unknown.
    virtual void GetPublicAddress(char *host, size_t capacity, int &port) = 0;
    virtual void GetPrivateAddress(char *host, size_t capacity, int &port) = 0;
    // "z9hG4bK" followed by the engine's branch counter.
    virtual void CreateNewBranchID(char *out, size_t capacity) = 0;
    // Whether a datagram to address would come back to the exchange's own
    // SIP socket.
    virtual bool IsOwnAddress(const LIPAddressWithPort &address) = 0;
};

class LPBXStatelessProxy : public LSipSubscribeHandler
{
  public:
    // contacts: where registrations are read; null reads the contact records.
    LPBXStatelessProxy(LPBXProxyTransport &transport, const LClock &clock,
                       LPBXContactStore *contacts = nullptr)
        : m_Transport(transport), m_Clock(clock), m_Contacts(contacts)
    {
    }

    // A new SUBSCRIBE or NOTIFY: forwarded, or answered 483, 404 or 480;
    // past its source's rate, answered 503 once a second and else dropped.
    void HandleRequest(LPtr<LSipMessage> &message);
    // An unclaimed response: forwarded to the next Via, or dropped.
    void HandleResponse(LPtr<LSipMessage> &message) override;

    void HandleSubscribe(LPtr<LSipMessage> &message) override { HandleRequest(message); }
    void HandleNotify(LPtr<LSipMessage> &message) override { HandleRequest(message); }

  private:
    struct Hop;
    std::vector<Hop> LiveContacts(LPBXExtension &extension);
    void Forward(LSipMessage &request, const std::vector<Hop> &hops);
    bool IsOwnSentBy(const char *host, int port);
    bool IsWithinRate(const LSipMessage &request);

    LPBXProxyTransport &m_Transport;
    const LClock &m_Clock;
    LPBXContactStore *m_Contacts;
    // Both used on the engine's receive thread only.
    LSourceRateLimiter m_Rate;
    // The refusal lines of all sources together: a few a minute, then one
    // summary, so a flood from many addresses cannot grow the log.
    LLogRateLimiter m_RefusalLog{LLogRateLimiter::Limits{10, 10, 60}};
};
