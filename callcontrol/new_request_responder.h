// Where the new-request handlers send their answers, learn the exchange's
// own SIP address and hand accepted calls on. The engine implements it;
// tests capture the answers instead of putting them on the wire.
#pragma once

#include "platform/ipaddress.h"
#include "sip/sipmessage.h"

struct LPBXCallStart;
struct LPBXContext;

class LNewRequestResponder
{
  public:
    virtual ~LNewRequestResponder() = default;
    // extraHeaders: complete header lines ("Name: value\r\n"...), may be null.
    virtual void Respond(const LSipMessage &request, int status, const char *reason,
                         const char *extraHeaders) = 0;
    // Whether address (with port) is one the exchange itself receives on.
    virtual bool IsOwnSipAddress(const LIPAddressWithPort &address) = 0;
    // Starts the call thread for an accepted INVITE; false when no call
    // thread can take it.
    virtual bool StartCall(const LSipMessage &request, const LPBXCallStart &call) = 0;
};

// The SIP engine's response sender and advertised addresses.
class LEngineResponder : public LNewRequestResponder
{
  public:
    explicit LEngineResponder(const LPBXContext &context) : m_Context(context) {}
    void Respond(const LSipMessage &request, int status, const char *reason,
                 const char *extraHeaders) override;
    bool IsOwnSipAddress(const LIPAddressWithPort &address) override;
    bool StartCall(const LSipMessage &request, const LPBXCallStart &call) override;

  private:
    const LPBXContext &m_Context;
};
