// Transfers of a connected call (RFC 3515 REFER): a blind transfer rings the
// new target for the party left on the call; an attended transfer (Refer-To
// with "Replaces", RFC 3891) joins that party to another call of the
// exchange by trading legs with that call's thread.
#include "callcontrol/call_targets.h"
#include "callcontrol/pbx_sip_line.h"
#include "callcontrol/pbx_sip_line_incall.h"
#include "callcontrol/pbx_sip_line_setup.h"
#include "platform/log.h"
#include "platform/tick.h"
#include "sip/sipfields.h"
#include "sip/sipnameaddr.h"
#include "sip/sipuri.h"

#include <cstring>
#include <string>

namespace
{
constexpr int kTransferMaxForwards = 20;

const char *OrNull(const std::string &text)
{
    return text.empty() ? nullptr : text.c_str();
}
} // namespace

bool LPBXSipLine::HandleRefer(LSipMessage &refer, Slot &leg, Slot &other)
{
    leg->SendResponse(refer, 202, "Accepted");
    LSipNameAddr referTo(refer.FindField(LSipFields::ReferTo, ""));
    LSipURI uri(referTo.GetSipURI());
    std::string target;
    uri.ReconstructWithoutParameters(target);
    const char *replaces = uri.GetHeaders().GetParm("Replaces", "");
    if (*replaces) {
        // The Call-ID is the Replaces value up to its first parameter.
        std::string callId(replaces, strcspn(replaces, " ;"));
        return AttendedTransfer(callId.c_str(), leg, other);
    }
    return BlindTransfer(target.c_str(), leg, other);
}

// The other leg goes to the call holding callId in exchange for that call's
// dialog with the transferor; this thread then ends with both of the
// transferor's dialogs. While that call is busy the waiting party hears
// ringing from the exchange. A call that stays busy for too long leaves this
// call connected as before and the transferor is told 503 (RFC 3515 section
// 2.4.5).
bool LPBXSipLine::AttendedTransfer(const char *callId, Slot &leg, Slot &other)
{
    uint32_t giveUpMs = LPBXAttendedTransferGiveUp();
    uint32_t start = m_Context.sip.clock.Tick();
    LPBXPlayer player(m_Context.sdp, m_Context.sip.clock);
    bool ringing = false, moved = false;
    int result = -1;
    while (!IsToStop()) {
        EnableSwapCalls();
        result = m_Context.owner.HandleTransfer(callId, other);
        bool giveUp = result != -1 || m_Context.sip.clock.Since(start) >= giveUpMs;
        DisableSwapCalls();
        if (giveUp)
            break;
        if (!ringing) { // once: a party that refuses it is not asked again
            ringing = true;
            moved = StartPlayer(player, other, leg, Sources().OpenSourceRinging());
        }
        EnableSwapCalls();
        Sleep(kPBXInCallTiming.swapRetryMs);
        DisableSwapCalls();
    }
    // Once traded, the waiting party belongs to the other call, which gives
    // it new media at once.
    player.Stop();
    if (result == -1) {
        LOGWARNF("Attended transfer to call %s given up: the call is busy", callId);
        leg->SendNotify(*this, 503, "Service Unavailable");
        // The waiting party was moved to the player: back to the transferor.
        if (moved)
            CrossInvite(false);
        return true;
    }
    if (result == 0)
        LOGWARNF("Attended transfer: no call holds %s", callId);
    leg->SendNotify(*this, 200, "OK");
    return false;
}

// The transferor's leg is ended at once; the party left on the call becomes
// the caller of a new set-up towards target with the transferor's dial rules.
bool LPBXSipLine::BlindTransfer(const char *target, Slot &leg, Slot &other)
{
    std::string rules = GetOutboundDialRules(leg.Get());
    leg->SendNotify(*this, 200, "OK");
    LSipAddCallToGraveyard(leg);
    std::string caller(other->GetRemoteToFrom());
    caller.resize(strcspn(caller.c_str(), ";"));
    if (&other != &m_CallerLeg) {
        SwapSlots();
        SetOutboundDialRules(m_CallerLeg.Get(), m_AnsweredDialRules);
    }
    LPtr<LSipCallInitiateList> list(new LSipCallInitiateList(m_Context.targets));
    char startPrompt[kPBXLineTextSize] = "";
    char waitHold[kPBXLineTextSize] = "";
    if (!GenerateOutboundCallList(*list, rules.c_str(), target, caller.c_str(), startPrompt,
                                  waitHold, kTransferMaxForwards)) {
        LOGWARNF("Blind transfer to %s: no target", target);
        return false;
    }
    LOGF("Call transferred to %s", target);
    // The party left on the call hears ringing (or the group's prompt and
    // hold music) while the new target is offered the call.
    LPBXPlayer player(m_Context.sdp, m_Context.sip.clock);
    LSoundSource waiting = Sources().OpenSourceQueueWithRinging(startPrompt, waitHold);
    if (!StartPlayer(player, m_CallerLeg, m_AnsweredLeg, waiting))
        LOGWARNF("Blind transfer to %s: the waiting party cannot hear ringing", target);
    InitiateCall(player, *list);
    return m_AnsweredLeg.Get() != nullptr;
}

// The transferred party is already connected to the exchange: the target's
// offer reaches it by re-INVITE, and its answer goes to the target in the
// ACK of the target's 2xx.
void LPBXCallSetup::AnswerConnectedCaller(Target &target, LSipMessage &response)
{
    LSipCall &call = *target.call;
    LSDPMediator &mediator = m_Line.m_Mediator;
    if (m_Player)
        m_Player->Stop();
    if (!*response.GetContent("application/sdp")) {
        LOG("200 OK Reply does not have offer. Buggy hardware. Work around.");
        call.SendAck(target.invite, response, nullptr);
        m_CrossInviteAfter = true;
        return;
    }
    std::string offer =
        mediator.RewriteOkSDP(LPBXSdpInfo(response), call.IsDestinationPublic(),
                              m_Caller.IsDestinationPublic(), m_Caller.IsOddRTPDisabled());
    LSipRequest reinvite;
    LPtr<LSipMessage> answer;
    if (!m_Line.Reinvite(m_Line.m_CallerLeg, target.call, reinvite, answer, offer.c_str())) {
        // The target's dialog exists: it is ended with a BYE (RFC 3261
        // section 15).
        call.SendAck(target.invite, response, nullptr);
        LSipAddCallToGraveyard(target.call);
        target.remove = true;
        m_End = End::CallerGone;
        return;
    }
    std::string sdp = mediator.RewriteOkSDP(LPBXSdpInfo(*answer), m_Caller.IsDestinationPublic(),
                                            call.IsDestinationPublic(), call.IsOddRTPDisabled());
    call.SendAck(target.invite, response, OrNull(sdp));
    m_Caller.SendAck(reinvite, *answer, nullptr);
}
