// What SDP mediation needs to know about one leg of a call: where it is
// reached and the remote special flags of its line.
#pragma once

#include "sip/sip_special_flags.h"

#include <cstddef>

class LSDPMediator;

struct LSDPCallLeg {
    bool destinationPublic = false; // reached over the public network
    unsigned remoteSpecialFlags = 0;

    bool IsDestinationPublic() const { return destinationPublic; }
    bool IsActivityPollingDisabled() const { return Has(kRemoteActivityPollingDisabled); }
    bool IsOddRTPDisabled() const { return Has(kRemoteOddRTPDisabled); }
    bool IsEmptyInviteDisabled() const { return Has(kRemoteEmptyInviteDisabled); }
    bool IsAlwaysRelay() const { return Has(kRemoteAlwaysRelay); }
    bool IsRelayNotNeeded() const { return Has(kRemoteRelayNotNeeded); }

  private:
    bool Has(unsigned flag) const { return (remoteSpecialFlags & flag) != 0; }
};

enum class LSDPRelayMode {
    Decide,        // per offer and answer, from the addresses
    ForceBothWays, // the caller or a target always wants the relay
    NotRequired,   // the caller or every target needs none
};

// "Always relay" on any leg beats "relay not needed" on all.
LSDPRelayMode LSDPChooseRelayMode(const LSDPCallLeg &caller, const LSDPCallLeg *targets,
                                  size_t targetCount);

// Sets up the mediator for a new call: Reset, recorder, relay mode.
void LSDPPrepareMediator(LSDPMediator &mediator, const char *recorderFile,
                         const LSDPCallLeg &caller, const LSDPCallLeg *targets, size_t targetCount);
