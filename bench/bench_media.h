// The media context the benchmarks run with: relay ports keep their private
// address, SDP names resolve through the system, nothing is traced.
#pragma once

#include "media/rtp_relay_connection.h"
#include "media/rtp_relay_loop.h"
#include "media/sdp_address.h"
#include "media/sdp_relay_releaser.h"
#include "media/sdp_settings.h"
#include "platform/clock.h"

struct BenchMedia : LSDPSettings {
    LSDPSystemResolver names;
    LSDPHostResolver &GetHostResolver() override { return names; }
    void ResolvePublicAddress(LRtpPublicAddressQuery &query) override
    {
        LRtpDefaultPublicAddress(query);
    }
    void WriteRtpTrace(const char *) override {}
    LRtpHeldPorts held;
    LRtpHeldPorts &GetHeldPorts() override { return held; }
    LSystemClock clock;
    LRtpRelayLoop relayLoop{clock};
    LRtpRelayLoop &GetRelayLoop() override { return relayLoop; }
    LSDPRelayReleaser releaser{clock};
    LSDPRelayReleaser &GetRelayReleaser() override { return releaser; }
    int GetQuality() override { return 50; }
    bool GetActive() override { return false; }
};
