// The SDP settings as the settings store holds them: section "SIP", keys
// "Quality" and "Active", re-read on every use so that a change made in the
// control panel reaches the next SDP the exchange writes.
#pragma once

#include "media/rtp_relay_connection.h"
#include "media/rtp_relay_loop.h"
#include "media/rtp_relay_trace.h"
#include "media/sdp_relay_releaser.h"
#include "media/sdp_settings.h"

class LSDPStoredSettings : public LSDPSettings
{
  public:
    // publicAddress: the NAT traversal's resolution of relay ports; trace:
    // where traced RTP lines go; clock: the relays' quiet times and release
    // delays.
    LSDPStoredSettings(const LClock &clock, LRtpPublicAddressResolver publicAddress,
                       LRtpTraceWriter trace)
        : publicAddress_(std::move(publicAddress)), trace_(trace), relayLoop_(clock),
          releaser_(clock)
    {
    }
    LSDPHostResolver &GetHostResolver() override { return resolver_; }
    void ResolvePublicAddress(LRtpPublicAddressQuery &query) override { publicAddress_(query); }
    void WriteRtpTrace(const char *line) override { trace_(line); }
    LRtpHeldPorts &GetHeldPorts() override { return held_; }
    LRtpRelayLoop &GetRelayLoop() override { return relayLoop_; }
    LSDPRelayReleaser &GetRelayReleaser() override { return releaser_; }
    int GetQuality() override;
    bool GetActive() override;

  private:
    LSDPSystemResolver resolver_;
    LRtpPublicAddressResolver publicAddress_;
    LRtpTraceWriter trace_;
    LRtpHeldPorts held_;
    LRtpRelayLoop relayLoop_;
    // Last, so it goes first: the relays it still holds give their ports
    // back to held_ and refer to this context while they close.
    LSDPRelayReleaser releaser_;
};
