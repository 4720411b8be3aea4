// The graveyard finishes the SIP teardown of call legs whose owners have let
// them go: it cancels unanswered INVITEs, sends BYE on established dialogs,
// repeats CANCEL and BYE until answered (UDP loses them), answers whatever
// the far end still sends, and drops each leg after 300 s, or 5 s after its
// teardown is complete. A pass costs nothing for quiet legs: legs report
// queued messages, and only legs with a repeat pending run timers.
#pragma once

#include "platform/clock.h"
#include "platform/lock.h"
#include "platform/ptr.h"
#include "platform/signal.h"
#include "platform/stop_gate.h"
#include "platform/thread.h"
#include "sip/sipmessage.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <list>
#include <thread>
#include <unordered_map>
#include <vector>

class LSipGraveyard;

// What the graveyard needs of a call leg; the dialog builds and sends its own
// requests (with its route set, credentials and sequence numbers).
class LSipGraveyardLeg
{
  public:
    enum Request { Invite, Cancel, Bye };

    virtual ~LSipGraveyardLeg() = default;
    // From now on the leg calls graveyard.NoteMessage(this, ...) after
    // queueing each message (with no lock of its own held). True when
    // messages were queued before the watch began.
    virtual bool WatchQueue(LSipGraveyard *graveyard) = 0;
    virtual LPtr<LSipMessage> GetNextMessage() = 0;
    virtual bool IsDialogEstablished() = 0;
    // A BYE with a new sequence number / the CANCEL of the outstanding INVITE.
    virtual void CreateBye() = 0;
    virtual void CreateCancel() = 0;
    virtual void Send(Request request) = 0;
    virtual bool IsResponseTo(const LSipMessage &response, Request request) = 0;
    // ACK for a final response to the INVITE, or for a 2xx to any other
    // INVITE of the dialog.
    virtual void Acknowledge(const LSipMessage &response) = 0;
    // Adds credentials for a 401 or 407 to the BYE.
    virtual void AuthenticateBye(const LSipMessage &challenge) = 0;
    virtual void Respond(const LSipMessage &request, int status, const char *reason) = 0;
};

class LSipGraveyard : public LThread
{
  public:
    static constexpr uint32_t kFirstIntervalMs = 500;
    static constexpr uint32_t kResendSlackMs = 100;
    static constexpr uint32_t kCancelLimitMs = 15000;
    static constexpr uint32_t kByeLimitMs = 25000;
    static constexpr uint32_t kKeepMs = 300000;
    // A leg whose INVITE, CANCEL and BYE are all done stays this long to
    // absorb repeated final responses (RFC 3261 timer K, T4), then goes: its
    // repeated ACK and 200 are answered by the engine's answered cache.
    static constexpr uint32_t kLingerMs = 5000;
    static constexpr uint32_t kIdleWaitMs = 3600000;
    // Legs past their linger or keep time go together in passes this far
    // apart at the most, instead of one wake-up per leg.
    static constexpr uint32_t kDropSlackMs = 250;

    explicit LSipGraveyard(const LClock &clock) : m_Clock(clock) {}
    ~LSipGraveyard() override;

    // A leg whose INVITE is done: BYE now while its dialog is established.
    // One that never was (the caller was refused or cancelled) or that the
    // far end ended with its own BYE only lingers to answer repeats: a BYE
    // there meets 481 or silence (RFC 3261 section 15.1.2). A null leg is
    // ignored; the graveyard owns the leg from here on. Once a stop began,
    // a leg still gets its first BYE or CANCEL but is released at once:
    // nothing would repeat it, and the stop releases every leg.
    void AddCall(LPtr<LSipGraveyardLeg> &leg);
    // An outgoing INVITE without a final response: CANCEL now or, when
    // cancelNow is false, once its first provisional response arrives.
    void AddCall(LPtr<LSipGraveyardLeg> &leg, bool cancelNow);

    // One pass over the legs with messages or timers; returns the wait until
    // the next timer and puts the wake signal in group.
    uint32_t RunPass(LSignalObjectGroup &group);
    // A watched leg has queued a message (any thread). One that can wait
    // (see CanWaitForTimer) is taken by the next pass without a wake-up.
    void NoteMessage(LSipGraveyardLeg *leg, bool canWait = false);
    // A response to our BYE or CANCEL (other than a challenge) only ends
    // its repeats, and the pass that would repeat the request drains the
    // legs' messages first: it need not wake the graveyard (one wake-up less
    // per call).
    static bool CanWaitForTimer(const LSipMessage &message);
    LSignalObject &GetIdleSignal() { return m_Idle; }
    size_t GetCount();
    // Takes legs again and starts the thread (the engine does, as it starts).
    void StartGraveyard(int priority);
    // Refuses new legs, waits up to 1500 ms for pending repeats, stops, waits
    // for legs being handed over and releases every leg.
    void StopGraveyard();

  protected:
    void ThreadFunction() override;

  private:
    struct Timer {
        uint32_t lastSend = 0;
        uint32_t interval = kFirstIntervalMs;
    };
    struct Item {
        LPtr<LSipGraveyardLeg> leg;
        uint32_t added = 0;
        bool inviteOutstanding = false;
        bool cancelOutstanding = false;
        bool cancelSent = false;
        bool byeOutstanding = false;
        bool timed = false;    // in m_Timed
        bool finished = false; // in m_Finished
        Timer cancel;
        Timer bye;
    };
    using ItemList = std::list<Item>;
    struct Finished {
        uint32_t at;
        LSipGraveyardLeg *leg;
    };
    void Insert(Item &item);
    bool File(Item &item, uint32_t now);
    bool FileAdopted(uint32_t now);
    bool NeedsEarlierPass(const Item &item, uint32_t now) const;
    void Wake();
    void SignalWake();
    void DrainReady(uint32_t now);
    uint32_t RunTimedItems(uint32_t now, bool &pending);
    void Track(ItemList::iterator it, uint32_t now);
    void SetIdle(bool idle);
    void DropExpired(uint32_t now);
    uint32_t ExpiryWait(uint32_t now) const;
    void Erase(ItemList::iterator it);
    static void StartBye(Item &item, uint32_t now);
    static void HandleMessage(Item &item, const LSipMessage &message, uint32_t now);
    static void HandleInviteResponse(Item &item, const LSipMessage &response, uint32_t now);
    static void HandleByeResponse(Item &item, const LSipMessage &response, uint32_t now);
    static bool IsRepeatDue(const Timer &timer, uint32_t now);
    // Timers of one item; lowers wait and returns whether a repeat is pending.
    static bool RunTimers(Item &item, uint32_t now, uint32_t &wait);
    static bool RunTimer(Item &item, Timer &timer, LSipGraveyardLeg::Request request, uint32_t age,
                         uint32_t limit, uint32_t now, uint32_t &wait);

    LSignalObject m_Wake;
    const LClock &m_Clock;
    // Each AddCall holds a pass: a leg handed over while the graveyard stops
    // is either released by the stop or refused, never kept by nobody.
    LStopGate m_Gate;
    LSignalObject m_Idle;
    LLockObject m_ListLock;
    bool m_IdleSet = false; // m_Idle's state, under m_ListLock
    ItemList m_Items;       // oldest first
    std::unordered_map<const LSipGraveyardLeg *, ItemList::iterator> m_Index;
    std::vector<ItemList::iterator> m_Timed; // a CANCEL or BYE is being repeated
    std::deque<Finished> m_Finished;         // teardown complete, in that order
    // When the thread's next pass comes unless woken: a new leg that needs
    // nothing sooner does not wake it.
    bool m_Planned = false;
    uint32_t m_PlannedAt = 0;
    // The thread running a pass, while it handles messages and runs the
    // timers, and the legs handed over meanwhile (under m_ListLock, which
    // the pass holds).
    std::atomic<std::thread::id> m_PassThread{};
    std::vector<Item> m_Adopted;
    // Innermost lock: legs report under the engine's call-list lock.
    LLockObject m_ReadyLock;
    std::vector<LSipGraveyardLeg *> m_Ready;
    // m_Wake's state, under m_ReadyLock: set while legs wait in m_Ready, so
    // a burst of messages costs one signal and one reset.
    bool m_WakeSet = false;
};
