// What SDP mediation needs from the RTP relay of a call, and from the rest of
// the exchange. The relay and the SIP side implement these; tests fake them.
#pragma once

#include "media/sdp_address.h"
#include "media/sdp_settings.h"

#include <cstdint>
#include <memory>
#include <string>

// One side of a relay: a socket pair facing one endpoint.
class LSDPRelayConnection
{
  public:
    virtual ~LSDPRelayConnection() = default;
    // Points the connection at an endpoint. With latch set the relay replaces
    // the destination by the source of the packets it receives from it. An
    // invalid destination means: send nothing until latched.
    virtual void ConnectTo(const LSDPMediaDestination &destination, bool latch) = 0;
    // May query STUN; a later call returns the cached result.
    virtual void ResolvePublicIP() = 0;
    virtual std::string GetLocalPrivateIP() = 0;
    // Also marks the private port as handed out.
    virtual uint16_t GetLocalPrivatePort() = 0;
    // Both resolve the public address first.
    virtual std::string GetLocalPublicIP() = 0;
    virtual uint16_t GetLocalPublicPort() = 0;
};

// A call's relay. Made with both connections' ports bound; destroying it
// closes them.
class LSDPRelay
{
  public:
    virtual ~LSDPRelay() = default;
    // A faces the offerer, B the answerer.
    virtual LSDPRelayConnection &GetConnectionA() = 0;
    virtual LSDPRelayConnection &GetConnectionB() = 0;
    // Starts forwarding (and recording when recorderFile is not empty).
    virtual void Start(const std::string &recorderFile, uint8_t g72632PayloadType) = 0;
    // Ends forwarding and recording at once; the ports stay bound.
    virtual void Stop() = 0;
};

class LSDPMediatorHost
{
  public:
    virtual ~LSDPMediatorHost() = default;
    // A relay with both ports bound, or nullptr when no ports are free.
    virtual std::unique_ptr<LSDPRelay> CreateRelay() = 0;
    // The exchange's public address (dotted), as the SIP engine knows it.
    virtual std::string GetPublicIP() = 0;
    // "Quality" and "Active", read whenever an SDP is rewritten.
    virtual LSDPSettings &GetSdpSettings() = 0;
};

// The SIP message that carried an SDP, as far as mediation cares.
struct LSDPMessageInfo {
    std::string sdpBody;    // the "application/sdp" body, empty when none
    std::string sourceHost; // dotted address the message came from
};
