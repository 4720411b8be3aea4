// The remote special flags of a call leg: work-arounds for SIP peers, taken
// from the settings of the external line the leg runs on and kept on the
// leg's dialog for SDP mediation and in-call handling.
#pragma once

#include <cstdint>

enum LRemoteSpecialFlag : uint32_t {
    kRemoteActivityPollingDisabled = 1, // never poll the peer with INFO/OPTIONS
    kRemoteOddRTPDisabled = 2,          // the peer refuses odd RTP ports
    kRemoteEmptyInviteDisabled = 4,     // the peer refuses an INVITE without SDP
    kRemoteAlwaysRelay = 8,
    kRemoteRelayNotNeeded = 16,
};
