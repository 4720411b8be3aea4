// The connected phase of a call in its simplest form: both legs are watched
// and the call ends when either side hangs up. The BYE of one side is
// answered on its own leg; the graveyard then sends the BYE on the other.
#include "callcontrol/pbx_sip_line.h"

namespace
{
constexpr uint32_t kConnectedWaitMs = 60000;

// Everything a connected leg may send besides its BYE (re-INVITEs for hold
// and media changes, OPTIONS, transfers) is handled here; for now the leg
// answers it by itself. False ends the call.
bool RunCallMessageProcessing(LSipMessage &message, LSipCall &leg)
{
    return leg.DefaultMessageProcessing(message);
}

// At most one queued message of leg; a leg with more keeps its signal set,
// so the next wait returns at once.
bool RunCallTestForMessages(LSipCall *leg)
{
    if (!leg || !leg->IsDialogEstablished())
        return false;
    LPtr<LSipMessage> message = leg->GetNextMessage();
    if (!message)
        return true;
    return RunCallMessageProcessing(*message, *leg);
}
} // namespace

void LPBXSipLine::RunCall()
{
    while (!IsToStop()) {
        if (!RunCallTestForMessages(m_CallerLeg.Get()) ||
            !RunCallTestForMessages(m_AnsweredLeg.Get()))
            return;
        LSignalObjectGroup group;
        group.Add(*m_CallerLeg);
        group.Add(*m_AnsweredLeg);
        ProcessWaitSignalObjectGroup(group, kConnectedWaitMs);
    }
}
