#include "callcontrol/pbx_sip_line_setup.h"

#include "platform/log.h"

#include <algorithm>

LPBXCallSetup::LPBXCallSetup(LPBXSipLine &line, LSipMessage *invite, LSipCallInitiateList &list,
                             LPBXPlayer *player, LSipMessage *infoInvite)
    : m_Line(line), m_Clock(line.m_Context.sip.clock), m_Invite(invite),
      m_InfoInvite(invite ? invite : infoInvite), m_Player(player), m_List(list),
      m_Caller(*line.m_CallerLeg)
{
}

LPBXCallSetup::~LPBXCallSetup()
{
    for (LListIteratorOf<LSipCallInitiateItem> it(m_List); it.Get(); it.Next()) {
        LSipCallInitiateItem &item = *it.Get();
        Target &target = TargetOf(item);
        if (!target.remove)
            Bury(item, target, item.provisionalReceived);
    }
    RemoveMarked();
    m_Targets.clear();
    AnswerCallerAfterSetup();
}

// Decides the relay mode before the caller's SDP is read: one leg that must
// always be relayed relays the call; relay is left out only when the caller
// or every target says it is not needed.
void LPBXCallSetup::PrepareMediator()
{
    LSDPMediator &mediator = m_Line.m_Mediator;
    mediator.Reset();
    mediator.SetRecorder(m_Line.m_RecordDescription);
    bool always = m_Caller.IsAlwaysRelay();
    bool allNotNeeded = true;
    bool anyPublic = false;
    for (LListIteratorOf<LSipCallInitiateItem> it(m_List); it.Get(); it.Next()) {
        LSipCall &call = *TargetOf(*it.Get()).call;
        always = always || call.IsAlwaysRelay();
        allNotNeeded = allNotNeeded && call.IsRelayNotNeeded();
        anyPublic = anyPublic || call.IsDestinationPublic();
    }
    if (always)
        mediator.SetForceRelayBothWays();
    else if (m_Caller.IsRelayNotNeeded() || allNotNeeded)
        mediator.SetRelayNotRequired();
    if (m_Invite)
        mediator.ReceiveInviteSDP(LPBXSdpInfo(*m_Invite), anyPublic);
}

void LPBXCallSetup::Run()
{
    PrepareMediator();
    m_StartTick = m_Clock.Tick();
    // So that the first ringing indication goes out at once.
    m_LastRinging = m_StartTick - kRingingIntervalMs;
    for (;;) {
        int64_t now = m_Clock.UnixTime();
        DrainTargets(now);
        if (m_End != End::None)
            return;
        // Read after the responses are taken in: they stamp their own ticks,
        // and a "now" older than those would make every interval since them
        // wrap to about 49 days, burying a target the moment it rings.
        uint32_t tick = m_Clock.Tick();
        if (m_List.IsEmpty()) {
            AnswerNoTargetLeft();
            return;
        }
        m_Wait = kMaxWaitMs;
        m_SecondsToNextStart = 20;
        m_QueueSignal = nullptr;
        ScheduleTargets(now, tick);
        if (m_List.IsEmpty())
            continue; // the last target gave up: answer the caller at once
        if (m_SecondsToNextStart < 1 || !MoveStartTimesEarlier()) {
            SendRinging(tick);
            DrainCaller();
            if (m_End != End::None)
                return;
            WaitForSignals();
        }
        if (m_Line.IsToStop())
            return;
        if (m_Clock.Since(m_StartTick) >= (m_Invite ? kSetupLimitMs : kConnectedSetupLimitMs)) {
            m_TimeLimitReached = true;
            return;
        }
    }
}

// Idle gaps between stages are skipped: when nothing rings, nothing is
// queued and nothing is due, every pending target moves earlier. Returns
// false when nothing could move (only rescheduled members are pending); the
// loop then waits for them instead of spinning.
bool LPBXCallSetup::MoveStartTimesEarlier()
{
    bool moved = false;
    for (LListIteratorOf<LSipCallInitiateItem> it(m_List); it.Get(); it.Next()) {
        LSipCallInitiateItem &item = *it.Get();
        if (item.rescheduled)
            continue;
        item.SetStartTime(item.GetStartTime() - m_SecondsToNextStart);
        moved = true;
    }
    if (!moved)
        m_Wait = std::min<uint32_t>(m_Wait, (uint32_t)m_SecondsToNextStart * 1000);
    return moved;
}

void LPBXCallSetup::WaitForSignals()
{
    LSignalObjectGroup group;
    group.Add(m_Caller);
    for (LListIteratorOf<LSipCallInitiateItem> it(m_List); it.Get(); it.Next()) {
        Target &target = TargetOf(*it.Get());
        // Past 255 signals a target is only looked at when the wait ends for
        // another reason.
        if (it.Get()->inviteSent && target.call)
            group.Add(*target.call);
    }
    if (m_QueueSignal)
        group.Add(*m_QueueSignal);
    m_Clock.WaitGroup(m_Line, group, m_Wait);
}

void LPBXCallSetup::RespondToCaller(int status, const char *reason)
{
    if (!m_Invite)
        return;
    m_CallerAnswered = true;
    m_Caller.SendResponseAndWaitUntilAck(m_Line, *m_Invite, status, reason);
}

void LPBXCallSetup::AnswerNoTargetLeft()
{
    m_End = End::Failed;
    if (m_Busy)
        RespondToCaller(486, "Busy Here");
    else
        RespondToCaller(480, "Temporarily Unavailable");
}

// A caller that is still waiting always learns how its call ended: 487
// after its own CANCEL (RFC 3261 section 9.2), 408 when ringing ran out of
// time and 503 when the exchange is stopping.
void LPBXCallSetup::AnswerCallerAfterSetup()
{
    if (!m_Invite || m_CallerAnswered || m_End == End::Answered || m_End == End::CallerGone)
        return;
    if (m_End == End::Cancelled)
        RespondToCaller(487, "Request Terminated");
    else if (m_Line.IsToStop()) {
        m_CallerAnswered = true;
        m_Caller.SendResponse(*m_Invite, 503, "Service Unavailable", nullptr, nullptr);
    } else if (m_TimeLimitReached)
        RespondToCaller(408, "Request Timeout");
}
