#include "callcontrol/pbx_sip_line.h"

#include "callcontrol/pbx_sip_line_setup.h"
#include "media/rtp_relay.h"
#include "platform/log.h"
#include "platform/tick.h"
#include "sip/sip_engine.h"
#include "sip/siptext.h"

#include <cstdio>
#include <cstring>

namespace
{
void CopyText(char (&out)[kPBXLineTextSize], const char *text)
{
    LSipCopyText(out, kPBXLineTextSize, text ? text : "");
}
} // namespace

std::unique_ptr<LSDPRelay> LPBXMediatorHost::CreateRelay()
{
    return LRtpRelayCreate(m_Context.sdp);
}

std::string LPBXMediatorHost::GetPublicIP()
{
    char ip[kSipLongText];
    m_Context.sip.engine.GetPublicIP(ip, sizeof(ip));
    return ip;
}

LPBXSipLine::LPBXSipLine(const LPBXContext &context, LPtr<LSipMessage> &invite,
                         LPtr<LSipCallInitiateList> &list, const char *startPrompt,
                         const char *waitHold, const LPBXCallStart &start)
    : LDetachedThread(context.sip.signals), m_Context(context), m_InitData(new InitData),
      m_SwapSignal(context.sip.signals), m_MediatorHost(context), m_Mediator(m_MediatorHost),
      m_StartTime(context.sip.clock.UnixTime())
{
    m_CallerLeg.Reset(new LSipCall(context.sip, *invite, start.localUserId.c_str(),
                                   start.localAuthId.c_str(), start.password.c_str()));
    m_CallerLeg->SetRemoteSpecialFlags((uint32_t)start.remoteSpecialFlags);
    // A call from an extension passed the digest check; one from a line did not.
    m_CallerLeg->SetCallerAuthenticated(start.outboundPlan != "-");
    m_CallerLeg->SendResponse(*invite, 100, "Trying");
    m_InitData->invite.Assign(invite);
    m_InitData->list.Assign(list);
    CopyText(m_InitData->startPrompt, startPrompt);
    CopyText(m_InitData->waitHold, waitHold);
    CopyText(m_CallerDialRules, start.outboundPlan.c_str());
    CopyText(m_Caller, start.caller.c_str());
    CopyText(m_Target, start.dialledTarget.c_str());
    CopyText(m_RecordDescription, start.recordDescription.c_str());
    m_SourceSlot = start.sourceSlot;
}

LPBXSipLine::~LPBXSipLine()
{
    StopThreadNow();
}

const char *LPBXSipLine::GetOutboundDialRules(const LSipCall *leg) const
{
    if (leg && leg == m_CallerLeg.Get())
        return m_CallerDialRules;
    if (leg && leg == m_AnsweredLeg.Get())
        return m_AnsweredDialRules;
    return "";
}

void LPBXSipLine::SetOutboundDialRules(const LSipCall *leg, const char *text)
{
    if (leg && leg == m_CallerLeg.Get())
        CopyText(m_CallerDialRules, text);
    else if (leg && leg == m_AnsweredLeg.Get())
        CopyText(m_AnsweredDialRules, text);
}

void LPBXSipLine::EnableSwapCalls()
{
    LLockScope scope(m_SwapLock);
    m_SwapEnabled = true;
}

void LPBXSipLine::DisableSwapCalls()
{
    LLockScope scope(m_SwapLock);
    m_SwapEnabled = false;
}

// A group with a start prompt or hold music answers its caller at once
// with the exchange's own player, which plays while the members ring (or
// while the call waits in the group's queue).
void LPBXSipLine::ThreadFunction()
{
    LOGF("Call %s -> %s", m_Caller, m_Target);
    LSoundSource waiting =
        Sources().OpenSourceQueueNoRinging(m_InitData->startPrompt, m_InitData->waitHold);
    if (waiting) {
        LPBXPlayer player(m_Context.sdp, m_Context.sip.clock);
        if (StartPlayerInvite(player, *m_InitData->invite, waiting))
            InitiateCall(player, *m_InitData->list, m_InitData->invite.Get());
    } else {
        InitiateCall(*m_InitData->invite, *m_InitData->list);
    }
    m_InitData.Reset();
    if (m_AnsweredLeg)
        RunCall();
    EndCall();
}

void LPBXSipLine::InitiateCall(LSipMessage &invite, LSipCallInitiateList &list)
{
    m_AnsweredLeg.Reset();
    LPBXCallSetup setup(*this, &invite, list);
    setup.Run();
}

void LPBXSipLine::InitiateCall(LPBXPlayer &player, LSipCallInitiateList &list, LSipMessage *invite)
{
    m_AnsweredLeg.Reset();
    LPBXCallSetup setup(*this, nullptr, list, &player, invite);
    setup.Run();
}

int LPBXSipLine::HandleTransfer(const char *callId, LPtr<LSipCall> &leg)
{
    LLockScope scope(m_SwapLock);
    if (!m_SwapEnabled)
        return -1;
    if (m_CallerLeg && strcmp(m_CallerLeg->GetCallID(), callId) == 0)
        m_CallerLeg.Swap(leg);
    else if (m_AnsweredLeg && strcmp(m_AnsweredLeg->GetCallID(), callId) == 0)
        m_AnsweredLeg.Swap(leg);
    else
        return 0;
    m_SwapSignal.Signal();
    return 1;
}

void LPBXSipLine::SetAnswered(LPtr<LSipCall> &leg, const char *dialRules, int64_t now)
{
    m_AnsweredLeg.Assign(leg);
    CopyText(m_AnsweredDialRules, dialRules);
    if (m_AnswerTime == 0) {
        m_AnswerTime = now;
        LOGF("Call %s -> %s answered", m_Caller, m_Target);
    }
}

// Both legs go to the graveyard, which sends BYE on each dialog that is
// still established and answers whatever the far ends still send.
void LPBXSipLine::EndCall()
{
    LSipAddCallToGraveyard(m_CallerLeg);
    LSipAddCallToGraveyard(m_AnsweredLeg);
    m_Context.owner.WriteCallLog(m_StartTime, m_AnswerTime, m_Caller, m_Target);
}
