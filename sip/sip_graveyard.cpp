#include "sip/sip_graveyard.h"

#include "platform/tick.h"

#include <algorithm>
#include <cstring>

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

// Messages the leg queued before the watch began are drained by the next
// pass: the leg is reported once on insertion. A leg that needs nothing
// before the thread's planned pass is filed without waking it. A leg handed
// over by another leg inside this thread's own pass (a second branch's
// answer to a call already ended) waits for the pass to file it: the pass
// holds the list.
void LSipGraveyard::Insert(Item &item)
{
    if (m_PassThread.load() == std::this_thread::get_id()) {
        m_Adopted.push_back(std::move(item));
        return;
    }
    LSipGraveyardLeg *leg = item.leg.Get();
    bool queued = leg->WatchQueue(this);
    bool wake;
    {
        LLockScope hold(m_ListLock);
        wake = File(item, m_Clock.Tick());
    }
    if (queued)
        NoteMessage(leg);
    else if (wake)
        Wake();
}

// m_ListLock held. Returns whether the item needs a pass before the planned
// one.
bool LSipGraveyard::File(Item &item, uint32_t now)
{
    item.added = now;
    m_Items.push_back(std::move(item));
    ItemList::iterator it = std::prev(m_Items.end());
    m_Index[it->leg.Get()] = it;
    Track(it, now);
    if (it->timed)
        SetIdle(false);
    return NeedsEarlierPass(*it, now);
}

// m_ListLock held, out of the timers' loop over m_Timed, which filing
// changes; an adopted leg's BYE is then repeated like any other. What it
// queued meanwhile goes to the next pass. Returns whether there were any.
bool LSipGraveyard::FileAdopted(uint32_t now)
{
    if (m_Adopted.empty())
        return false;
    std::vector<Item> adopted;
    adopted.swap(m_Adopted);
    for (Item &item : adopted) {
        LSipGraveyardLeg *leg = item.leg.Get();
        bool queued = leg->WatchQueue(this);
        File(item, now);
        if (queued)
            NoteMessage(leg);
    }
    return true;
}

// m_ListLock held. The item's first need of a pass, as a pass would plan
// it: its first repeat, the end of its linger, or (an INVITE whose CANCEL
// waits for a provisional response) its keep time; its messages wake the
// thread themselves.
bool LSipGraveyard::NeedsEarlierPass(const Item &item, uint32_t now) const
{
    if (!m_Planned)
        return true;
    uint32_t due = now + (item.timed      ? kFirstIntervalMs
                          : item.finished ? kLingerMs + 1 + kDropSlackMs
                                          : kKeepMs + 1 + kDropSlackMs);
    return LTickDiff(m_PlannedAt, due) > 0;
}

void LSipGraveyard::NoteMessage(LSipGraveyardLeg *leg, bool canWait)
{
    LLockScope hold(m_ReadyLock);
    m_Ready.push_back(leg);
    if (!canWait)
        SignalWake();
}

void LSipGraveyard::Wake()
{
    LLockScope hold(m_ReadyLock);
    SignalWake();
}

// m_ReadyLock held.
void LSipGraveyard::SignalWake()
{
    if (!m_WakeSet) {
        m_Wake.Signal();
        m_WakeSet = true;
    }
}

bool LSipGraveyard::CanWaitForTimer(const LSipMessage &message)
{
    // A challenge is answered with a new request at once.
    int status = message.IsRequest() ? 0 : message.GetResponseStatusCode();
    if (status == 0 || status == 401 || status == 407)
        return false;
    const char *method = message.GetCSeqMethod();
    return strcmp(method, "BYE") == 0 || strcmp(method, "CANCEL") == 0;
}

// m_ListLock held.
void LSipGraveyard::SetIdle(bool idle)
{
    if (idle == m_IdleSet)
        return;
    if (idle)
        m_Idle.Signal();
    else
        m_Idle.Reset();
    m_IdleSet = idle;
}

// Files the item by what it still waits for: its timers while a CANCEL or
// BYE is repeated, the linger once nothing is outstanding (which is final).
void LSipGraveyard::Track(ItemList::iterator it, uint32_t now)
{
    Item &item = *it;
    bool repeating = (item.cancelOutstanding && item.cancelSent) || item.byeOutstanding;
    if (repeating && !item.timed) {
        item.timed = true;
        m_Timed.push_back(it);
    }
    if (!item.inviteOutstanding && !item.cancelOutstanding && !item.byeOutstanding &&
        !item.finished) {
        item.finished = true;
        m_Finished.push_back({now, item.leg.Get()});
    }
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
    LStopGate::Pass pass = m_Gate.Enter();
    Item item;
    item.leg.Assign(leg);
    if (item.leg->IsDialogEstablished())
        StartBye(item, m_Clock.Tick());
    if (pass)
        Insert(item);
}

void LSipGraveyard::AddCall(LPtr<LSipGraveyardLeg> &leg, bool cancelNow)
{
    if (!leg)
        return;
    LStopGate::Pass pass = m_Gate.Enter();
    Item item;
    item.leg.Assign(leg);
    item.inviteOutstanding = true;
    item.cancelOutstanding = true;
    item.leg->CreateCancel();
    if (cancelNow) {
        item.leg->Send(LSipGraveyardLeg::Cancel);
        item.cancelSent = true;
        item.cancel.lastSend = m_Clock.Tick();
    }
    if (pass)
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
    // RFC 3261 section 13.2.2.4: every 2xx to an INVITE is acknowledged,
    // also one to a re-INVITE given up before the leg came here, or the far
    // end repeats it for 32 s. The dialog still ends with our BYE.
    if (item.inviteOutstanding)
        HandleInviteResponse(item, message, now);
    else if (message.IsSuccessToInvite())
        item.leg->Acknowledge(message);
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
    if (remaining <= kResendSlackMs) { // as IsRepeatDue, whose figure the wait needs too
        item.leg->Send(request);
        timer.lastSend = now;
        timer.interval *= 2;
        remaining = timer.interval;
    }
    wait = std::min(wait, std::min(remaining, limit - age + 1));
    return true;
}

bool LSipGraveyard::IsRepeatDue(const Timer &timer, uint32_t now)
{
    return LTickRemaining(now, timer.lastSend + timer.interval) <= kResendSlackMs;
}

bool LSipGraveyard::RunTimers(Item &item, uint32_t now, uint32_t &wait)
{
    // The answer may be queued already but not yet reported: a leg reports
    // a message just after queueing it, and this pass can come between.
    if ((item.cancelOutstanding && item.cancelSent && IsRepeatDue(item.cancel, now)) ||
        (item.byeOutstanding && IsRepeatDue(item.bye, now)))
        while (LPtr<LSipMessage> message = item.leg->GetNextMessage())
            HandleMessage(item, *message, now);
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

// A reported leg that is gone already (or whose address a newer leg took)
// costs one look-up, or one empty drain.
void LSipGraveyard::DrainReady(uint32_t now)
{
    std::vector<LSipGraveyardLeg *> ready;
    {
        LLockScope hold(m_ReadyLock);
        ready.swap(m_Ready);
    }
    for (LSipGraveyardLeg *leg : ready) {
        auto found = m_Index.find(leg);
        if (found == m_Index.end())
            continue;
        Item &item = *found->second;
        while (LPtr<LSipMessage> message = item.leg->GetNextMessage())
            HandleMessage(item, *message, now);
        Track(found->second, now);
    }
}

uint32_t LSipGraveyard::RunTimedItems(uint32_t now, bool &pending)
{
    uint32_t wait = kIdleWaitMs;
    std::vector<ItemList::iterator> stopped;
    size_t kept = 0;
    for (ItemList::iterator it : m_Timed) {
        pending |= RunTimers(*it, now, wait);
        if ((it->cancelOutstanding && it->cancelSent) || it->byeOutstanding)
            m_Timed[kept++] = it;
        else
            stopped.push_back(it);
    }
    m_Timed.resize(kept);
    for (ItemList::iterator it : stopped) {
        it->timed = false;
        Track(it, now);
    }
    return wait;
}

void LSipGraveyard::Erase(ItemList::iterator it)
{
    if (it->timed)
        m_Timed.erase(std::find(m_Timed.begin(), m_Timed.end(), it));
    m_Index.erase(it->leg.Get());
    m_Items.erase(it);
}

// Finished items go with their linger (even past 300 s), so every entry of
// m_Finished names a live item.
void LSipGraveyard::DropExpired(uint32_t now)
{
    while (!m_Finished.empty() && LTickInterval(now, m_Finished.front().at) > kLingerMs) {
        auto found = m_Index.find(m_Finished.front().leg);
        m_Finished.pop_front();
        if (found != m_Index.end())
            Erase(found->second);
    }
    for (auto it = m_Items.begin();
         it != m_Items.end() && LTickInterval(now, it->added) > kKeepMs;) {
        auto next = std::next(it);
        if (!it->finished)
            Erase(it);
        it = next;
    }
}

// Wakes a little after the next linger or keep time runs out, so released
// legs give back their memory and descriptors without waiting for other
// traffic, and the legs that run out meanwhile go in the same pass.
uint32_t LSipGraveyard::ExpiryWait(uint32_t now) const
{
    uint32_t wait = kIdleWaitMs;
    if (!m_Finished.empty())
        wait = std::min(wait, kLingerMs - LTickInterval(now, m_Finished.front().at) + 1);
    uint32_t age = m_Items.empty() ? kKeepMs + 1 : LTickInterval(now, m_Items.front().added);
    if (age <= kKeepMs)
        wait = std::min(wait, kKeepMs - age + 1);
    return wait == kIdleWaitMs ? wait : wait + kDropSlackMs;
}

uint32_t LSipGraveyard::RunPass(LSignalObjectGroup &group)
{
    group.Clear();
    group.Add(m_Wake);
    {
        // Before the ready list is taken: a leg reported from now on
        // signals again.
        LLockScope ready(m_ReadyLock);
        if (m_WakeSet) {
            m_Wake.Reset();
            m_WakeSet = false;
        }
    }
    LLockScope hold(m_ListLock);
    // Messages are handled while the timers run too (an answer taken just
    // before a repeat), so the pass is marked for both.
    m_PassThread = std::this_thread::get_id();
    uint32_t now = m_Clock.Tick();
    DrainReady(now);
    FileAdopted(now);
    bool pending = false;
    uint32_t wait = RunTimedItems(now, pending);
    if (FileAdopted(now)) {
        // Their first BYE went out just now.
        wait = std::min(wait, kFirstIntervalMs);
        pending = true;
    }
    m_PassThread = std::thread::id();
    DropExpired(now);
    wait = std::min(wait, ExpiryWait(now));
    if (!pending)
        SetIdle(true);
    m_Planned = true;
    m_PlannedAt = now + wait;
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
        if (m_Clock.WaitGroup(*this, group, wait) == LProcessStopped)
            break;
    }
}

void LSipGraveyard::StartGraveyard(int priority)
{
    m_Gate.Reopen();
    Start(priority);
}

void LSipGraveyard::StopGraveyard()
{
    m_Gate.RequestStop();
    // Responses left for the next timer pass are taken now: a repeat they
    // answered does not hold the stop.
    Wake();
    if (IsRunning())
        m_Idle.WaitSignal(kStopIdleWaitMs);
    StopThreadNow();
    // A leg let in before the stop may still be on its way into the list.
    m_Gate.WaitIdle();
    ItemList released;
    {
        LLockScope hold(m_ListLock);
        released.swap(m_Items);
        m_Index.clear();
        m_Timed.clear();
        m_Finished.clear();
        m_Planned = false;
    }
    {
        LLockScope hold(m_ReadyLock);
        m_Ready.clear();
    }
    LLockScope hold(m_ListLock);
    SetIdle(true);
}
