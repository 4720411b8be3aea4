// Scheduling the targets of a call: when each INVITE goes out, how it is
// repeated over UDP, when a silent or endlessly ringing target is given up,
// and how failed group members are tried again later.
#include "callcontrol/pbx_sip_line_setup.h"

#include "platform/log.h"

#include <algorithm>

LPBXCallSetup::Target &LPBXCallSetup::TargetOf(LSipCallInitiateItem &item)
{
    std::unique_ptr<Target> &slot = m_Targets[&item];
    if (slot)
        return *slot;
    slot = std::make_unique<Target>();
    const LSipCallAddress &address = item.GetCall();
    slot->call.Reset(new LSipCall(m_Caller.GetStack(), address.remoteNameAddr,
                                  address.localNameAddr, address.outboundProxy, address.localUserID,
                                  address.localAuthID, address.password));
    if (address.remoteTargetURI[0])
        slot->call->SetRemoteTargetURI(address.remoteTargetURI);
    slot->call->SetRemoteSpecialFlags(address.remoteSpecialFlags);
    slot->call->SetCallerAuthenticated(m_Caller.IsCallerAuthenticated());
    return *slot;
}

void LPBXCallSetup::ScheduleTargets(int64_t now, uint32_t tick)
{
    for (LListIteratorOf<LSipCallInitiateItem> it(m_List); it.Get(); it.Next()) {
        LSipCallInitiateItem &item = *it.Get();
        ScheduleOne(item, TargetOf(item), now, tick);
    }
    RemoveMarked();
}

void LPBXCallSetup::ScheduleOne(LSipCallInitiateItem &item, Target &target, int64_t now,
                                uint32_t tick)
{
    if (item.inviteSent) {
        m_SecondsToNextStart = 0;
        if (!item.provisionalReceived)
            Retransmit(item, target, now, tick);
        else if (LTickInterval(tick, item.lastProvisionalTick) > kRingLimitMs)
            Bury(item, target, true);
        return;
    }
    // A group member waits while another call to the same group rings.
    if (LSignalObject *queue = item.GetQueueItem().WaitTillFrontOfQueue()) {
        m_QueueSignal = queue;
        m_SecondsToNextStart = 0;
        return;
    }
    if (item.GetStartTime() <= now) {
        SendInvite(item, target, tick);
        m_Wait = std::min(m_Wait, kFirstRetransmitMs - kRetransmitSlackMs);
        m_SecondsToNextStart = 0;
        return;
    }
    m_SecondsToNextStart = (int)std::min<int64_t>(m_SecondsToNextStart, item.GetStartTime() - now);
}

void LPBXCallSetup::SendInvite(LSipCallInitiateItem &item, Target &target, uint32_t tick)
{
    LSipCall &call = *target.call;
    std::string offer =
        m_Line.m_Mediator.RewriteInviteSDP(!call.IsDestinationPublic(), call.IsOddRTPDisabled());
    target.invite.CreateNewInviteRequest(call, offer.empty() ? nullptr : offer.c_str(), nullptr,
                                         item.GetMaxForwards(), m_InfoInvite, false);
    call.SendRequest(target.invite);
    item.inviteSent = true;
    item.provisionalReceived = false;
    item.retransmitInterval = kFirstRetransmitMs;
    item.lastSendTick = tick;
}

// The INVITE goes out at about 0, 300, 1000 and 2500 ms (each repeat once
// the interval, doubled each time from 400 ms, is within 100 ms of its end);
// without any provisional response the target has timed out at about
// 5600 ms.
void LPBXCallSetup::Retransmit(LSipCallInitiateItem &item, Target &target, int64_t now,
                               uint32_t tick)
{
    uint32_t elapsed = LTickInterval(tick, item.lastSendTick);
    uint32_t remaining = elapsed < item.retransmitInterval ? item.retransmitInterval - elapsed : 0;
    if (remaining <= kRetransmitSlackMs) {
        if (item.retransmitInterval > kRetransmitGiveUpMs) {
            if (item.IsGroupMember())
                Reschedule(item, target, now + kTimeoutRetrySeconds, false);
            else
                Bury(item, target, false);
            return;
        }
        item.retransmitInterval *= 2;
        target.call->SendRequest(target.invite);
        item.lastSendTick = tick;
        remaining = item.retransmitInterval;
    }
    // Waking when the slack is reached sends the repeat on time.
    m_Wait = std::min(m_Wait, remaining - kRetransmitSlackMs);
}

// The member gets a fresh dialog (new Call-ID) towards the same contact.
// The old INVITE is cancelled by the graveyard while it still waits for its
// final response; once refused (and acknowledged) it is complete, and a
// CANCEL would only be a stray (RFC 3261 section 9.1).
void LPBXCallSetup::Reschedule(LSipCallInitiateItem &item, Target &target, int64_t when,
                               bool refused)
{
    LPtr<LSipCall> fresh(new LSipCall(*target.call, target.call->GetRemoteTargetURI()));
    if (!refused)
        LSipAddCallToGraveyard(target.call, target.invite, item.provisionalReceived);
    target.call.Assign(fresh);
    item.rescheduled = true;
    item.inviteSent = false;
    item.provisionalReceived = false;
    item.SetStartTime(when);
}

void LPBXCallSetup::Bury(LSipCallInitiateItem &item, Target &target, bool cancelNow)
{
    if (item.inviteSent)
        LSipAddCallToGraveyard(target.call, target.invite, cancelNow);
    else
        target.call.Reset();
    target.remove = true;
}

// Removing an item drops its queue handle, so the next call waiting for the
// group moves up once this call holds no member any more.
void LPBXCallSetup::RemoveMarked()
{
    for (LListIteratorOf<LSipCallInitiateItem> it(m_List); it.Get();) {
        auto found = m_Targets.find(it.Get());
        if (found == m_Targets.end() || !found->second->remove) {
            it.Next();
            continue;
        }
        m_Targets.erase(found);
        it.Delete();
    }
}
