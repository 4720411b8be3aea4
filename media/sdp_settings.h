// What SDP and RTP work with: the two settings of section "SIP" that shape
// the SDP the exchange writes, read on every use so that a change takes
// effect on the next SDP, and the services the layers around media supply
// (name look-up, the public address of a relay port, the RTP trace). The
// main engine builds one and hands it to every SDP writer and relay; tests
// hand in their own.
#pragma once

#include "media/rtp_held_ports.h"
#include "media/sdp_address.h"

struct LRtpPublicAddressQuery;
class LRtpRelayLoop;
class LSDPRelayReleaser;

class LSDPSettings
{
  public:
    virtual ~LSDPSettings() = default;
    // How host names in SDP "c=" lines are looked up.
    virtual LSDPHostResolver &GetHostResolver() = 0;
    // Fills in the public address of a bound relay port (NAT traversal).
    virtual void ResolvePublicAddress(LRtpPublicAddressQuery &query) = 0;
    // The ports this exchange's relays and RTP endpoints hold.
    virtual LRtpHeldPorts &GetHeldPorts() = 0;
    // The one forwarding loop of this exchange's relays.
    virtual LRtpRelayLoop &GetRelayLoop() = 0;
    // Holds the ports of relays the calls retired for a while.
    virtual LSDPRelayReleaser &GetRelayReleaser() = 0;
    // Writes one line of the RTP trace (while LRtpTraceIsEnabled).
    virtual void WriteRtpTrace(const char *line) = 0;
    // "Quality" (default 50): below 50 prefers low-bandwidth codecs.
    virtual int GetQuality() = 0;
    // "Active" (default false): announce "a=direction:active".
    virtual bool GetActive() = 0;
    bool PrefersLowBandwidth() { return GetQuality() < 50; }
};
