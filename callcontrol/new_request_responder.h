// Where the new-request handlers send their answers and learn the exchange's
// own SIP address. The engine implements it in service; tests capture the
// answers instead of putting them on the wire.
#pragma once

#include "platform/ipaddress.h"
#include "sip/sipmessage.h"

class LNewRequestResponder
{
  public:
    virtual ~LNewRequestResponder() = default;
    // extraHeaders: complete header lines ("Name: value\r\n"...), may be null.
    virtual void Respond(const LSipMessage &request, int status, const char *reason,
                         const char *extraHeaders) = 0;
    // Whether address (with port) is one the exchange itself receives on.
    virtual bool IsOwnSipAddress(const LIPAddressWithPort &address) = 0;
};

// The SIP engine's response sender and advertised addresses.
class LEngineResponder : public LNewRequestResponder
{
  public:
    void Respond(const LSipMessage &request, int status, const char *reason,
                 const char *extraHeaders) override;
    bool IsOwnSipAddress(const LIPAddressWithPort &address) override;
};
