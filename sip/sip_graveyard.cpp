#include "sip/sip_graveyard.h"

#include "platform/tick.h"

#include <algorithm>
#include <cstring>

LSipGraveyard gSipGraveyard;

namespace
{
constexpr uint32_t kStopIdleWaitMs = 1500;

bool IsMethod(const LSipMessage &message, const char *method)
{
    return strcmp(message.GetRequest(), method) == 0;
}
} // namespace

LSipGraveyard::~LSipGraveyard()
{
    StopThreadNow();
}

void LSipGraveyard::Insert(Item &item)
{
    item.added = GetTickCount();
    {
        LLockScope hold(m_ListLock);
        m_Items.push_back(std::move(item));
    }
    m_Idle.Reset();
    m_Wake.Signal();
}

void LSipGraveyard::StartBye(Item &item, uint32_t now)
{
    item.leg->CreateBye();
    item.leg->Send(LSipGraveyardLeg::Bye);
    item.byeOutstanding = true;
    item.bye.lastSend = now;
    item.bye.interval = kFirstIntervalMs;
}

void LSipGraveyard::AddCall(LPtr<LSipGraveyardLeg> &leg)
{
    if (!leg)
        return;
    Item item;
    item.leg.Assign(leg);
    StartBye(item, GetTickCount());
    Insert(item);
}

void LSipGraveyard::AddCall(LPtr<LSipGraveyardLeg> &leg, bool cancelNow)
{
    if (!leg)
        return;
    Item item;
    item.leg.Assign(leg);
    item.inviteOutstanding = true;
    item.cancelOutstanding = true;
    item.leg->CreateCancel();
    if (cancelNow) {
        item.leg->Send(LSipGraveyardLeg::Cancel);
        item.cancelSent = true;
        item.cancel.lastSend = GetTickCount();
    }
    Insert(item);
}

void LSipGraveyard::HandleMessage(Item &item, const LSipMessage &message, uint32_t now)
{
    if (message.IsRequest()) {
        if (IsMethod(message, "BYE")) {
            item.leg->Respond(message, 200, "OK");
            item.byeOutstanding = false;
        } else if (IsMethod(message, "CANCEL"))
            item.leg->Respond(message, 200, "OK");
        else if (!IsMethod(message, "ACK"))
            item.leg->Respond(message, 487, "Request Terminated");
        return;
    }
    if (item.inviteOutstanding)
        HandleInviteResponse(item, message, now);
    if (item.byeOutstanding && item.leg->IsResponseTo(message, LSipGraveyardLeg::Bye))
        HandleByeResponse(item, message, now);
}

// RFC 3261 section 9.1: a CANCEL may only follow a provisional response, so
// one that was held back goes out with the first 1xx.
void LSipGraveyard::HandleInviteResponse(Item &item, const LSipMessage &response, uint32_t now)
{
    if (item.leg->IsResponseTo(response, LSipGraveyardLeg::Cancel)) {
        item.cancelOutstanding = false;
        return;
    }
    if (!item.leg->IsResponseTo(response, LSipGraveyardLeg::Invite))
        return;
    int status = response.GetResponseStatusCode();
    if (status < 200) {
        if (!item.cancelSent && item.cancelOutstanding) {
            item.leg->Send(LSipGraveyardLeg::Cancel);
            item.cancelSent = true;
            item.cancel.lastSend = now;
            item.cancel.interval = kFirstIntervalMs;
        }
        return;
    }
    item.leg->Acknowledge(response);
    item.inviteOutstanding = false;
    item.cancelOutstanding = false;
    if (status < 300 || item.leg->IsDialogEstablished())
        StartBye(item, now);
}

void LSipGraveyard::HandleByeResponse(Item &item, const LSipMessage &response, uint32_t now)
{
    int status = response.GetResponseStatusCode();
    if (status < 200)
        return; // provisional: the BYE arrived, its answer is still to come
    if (status == 491) {
        // Request Pending: a new sequence number, sent when the timer runs.
        item.bye.interval = kFirstIntervalMs;
        item.leg->CreateBye();
    } else if (status == 401 || status == 407) {
        item.bye.interval = kFirstIntervalMs;
        item.leg->AuthenticateBye(response);
        item.leg->Send(LSipGraveyardLeg::Bye);
        item.bye.lastSend = now;
    } else
        item.byeOutstanding = false;
}

// Resends when at most kResendSlackMs of the interval remain, doubling the
// interval (RFC 3261 timer E style). The wait is also cut to just past the
// age limit, so a request that stops being repeated is handled on time.
bool LSipGraveyard::RunTimer(Item &item, Timer &timer, LSipGraveyardLeg::Request request,
                             uint32_t age, uint32_t limit, uint32_t now, uint32_t &wait)
{
    uint32_t remaining = LTickRemaining(now, timer.lastSend + timer.interval);
    if (remaining <= kResendSlackMs) {
        item.leg->Send(request);
        timer.lastSend = now;
        timer.interval *= 2;
        remaining = timer.interval;
    }
    wait = std::min(wait, std::min(remaining, limit - age + 1));
    return true;
}

bool LSipGraveyard::RunTimers(Item &item, uint32_t now, uint32_t &wait)
{
    bool pending = false;
    uint32_t age = LTickInterval(now, item.added);
    if (item.cancelOutstanding && item.cancelSent) {
        if (age <= kCancelLimitMs)
            pending = RunTimer(item, item.cancel, LSipGraveyardLeg::Cancel, age, kCancelLimitMs,
                               now, wait);
        else {
            item.cancelOutstanding = false;
            StartBye(item, now);
        }
    }
    if (item.byeOutstanding) {
        if (age <= kByeLimitMs)
            pending |= RunTimer(item, item.bye, LSipGraveyardLeg::Bye, age, kByeLimitMs, now, wait);
        else
            item.byeOutstanding = false;
    }
    return pending;
}

uint32_t LSipGraveyard::RunPass(LSignalObjectGroup &group)
{
    uint32_t wait = kIdleWaitMs;
    bool pending = false;
    group.Clear();
    group.Add(m_Wake);
    m_Wake.Reset();
    LLockScope hold(m_ListLock);
    for (auto it = m_Items.begin(); it != m_Items.end();) {
        uint32_t now = GetTickCount();
        while (LPtr<LSipMessage> message = it->leg->GetNextMessage())
            HandleMessage(*it, *message, now);
        pending |= RunTimers(*it, now, wait);
        if (LTickInterval(now, it->added) > kKeepMs) {
            it = m_Items.erase(it);
            continue;
        }
        group.Add(it->leg->GetSignal());
        ++it;
    }
    if (!pending)
        m_Idle.Signal();
    return wait;
}

size_t LSipGraveyard::GetCount()
{
    LLockScope hold(m_ListLock);
    return m_Items.size();
}

void LSipGraveyard::ThreadFunction()
{
    LSignalObjectGroup group;
    while (!IsToStop()) {
        uint32_t wait = RunPass(group);
        if (ProcessWaitSignalObjectGroup(group, wait) == LProcessStopped)
            break;
    }
}

void LSipGraveyard::StopGraveyard()
{
    if (IsRunning())
        m_Idle.WaitSignal(kStopIdleWaitMs);
    StopThreadNow();
    std::list<Item> released;
    {
        LLockScope hold(m_ListLock);
        released.swap(m_Items);
    }
    m_Idle.Signal();
}

void LSipGraveyardStart()
{
    gSipGraveyard.Start(LThread::StartBelowNormal);
}

void LSipGraveyardStop()
{
    gSipGraveyard.StopGraveyard();
}

void LSipAddCallToGraveyard(LPtr<LSipGraveyardLeg> &leg)
{
    gSipGraveyard.AddCall(leg);
}

void LSipAddCallToGraveyard(LPtr<LSipGraveyardLeg> &leg, bool cancelNow)
{
    gSipGraveyard.AddCall(leg, cancelNow);
}
