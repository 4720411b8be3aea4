#include "media/sdp_call_leg.h"

#include "media/sdp_mediator.h"

LSDPRelayMode LSDPChooseRelayMode(const LSDPCallLeg &caller, const LSDPCallLeg *targets,
                                  size_t targetCount)
{
    bool always = caller.IsAlwaysRelay();
    // With no target at all nothing says the relay is not needed.
    bool notNeeded = targetCount > 0;
    for (size_t i = 0; i < targetCount; ++i) {
        always = always || targets[i].IsAlwaysRelay();
        notNeeded = notNeeded && targets[i].IsRelayNotNeeded();
    }
    if (always)
        return LSDPRelayMode::ForceBothWays;
    if (caller.IsRelayNotNeeded() || notNeeded)
        return LSDPRelayMode::NotRequired;
    return LSDPRelayMode::Decide;
}

void LSDPPrepareMediator(LSDPMediator &mediator, const char *recorderFile,
                         const LSDPCallLeg &caller, const LSDPCallLeg *targets, size_t targetCount)
{
    mediator.Reset();
    mediator.SetRecorder(recorderFile != nullptr ? recorderFile : "");
    switch (LSDPChooseRelayMode(caller, targets, targetCount)) {
    case LSDPRelayMode::ForceBothWays:
        mediator.SetForceRelayBothWays();
        break;
    case LSDPRelayMode::NotRequired:
        mediator.SetRelayNotRequired();
        break;
    case LSDPRelayMode::Decide:
        break;
    }
}
