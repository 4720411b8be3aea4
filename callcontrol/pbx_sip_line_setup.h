// The set-up phase of a call: rings every target of the list in parallel and
// in stages, follows their responses, answers the caller when the first one
// answers and cancels the others through the graveyard.
#pragma once

#include "callcontrol/pbx_sip_line.h"
#include "platform/tick.h"

#include <memory>
#include <unordered_map>

// The SDP body of message and the host it came from, for the mediator.
LSDPMessageInfo LPBXSdpInfo(const LSipMessage &message);

class LPBXCallSetup
{
  public:
    // The whole set-up must end within this time (RFC 3261 leaves it to the
    // user agent; two minutes of ringing is what phones expect).
    static constexpr uint32_t kSetupLimitMs = 120000;
    // A caller already connected to the exchange may wait much longer.
    static constexpr uint32_t kConnectedSetupLimitMs = 7200000;
    static constexpr uint32_t kMaxWaitMs = 1000;
    static constexpr uint32_t kFirstRetransmitMs = 400;
    // Once the interval has grown past this, a silent target has timed out
    // (INVITEs at about 0, 300, 1000 and 2500 ms, given up near 5600 ms).
    static constexpr uint32_t kRetransmitGiveUpMs = 2499;
    static constexpr uint32_t kRetransmitSlackMs = 100;
    // A target rings at most this long after its last provisional response.
    static constexpr uint32_t kRingLimitMs = 60000;
    static constexpr uint32_t kRingingIntervalMs = 2000;
    static constexpr uint32_t kRingingSlackMs = 50;
    // Group members that failed are tried again after these delays.
    static constexpr int kBusyRetrySeconds = 8;
    static constexpr int kTimeoutRetrySeconds = 15;

    // invite is the caller's INVITE still waiting for its answer, or null
    // for a caller already connected to the exchange's player (a queued or
    // transferred party); infoInvite, when given, is the INVITE whose
    // details the targets' INVITEs copy.
    LPBXCallSetup(LPBXSipLine &line, LSipMessage *invite, LSipCallInitiateList &list,
                  LPBXPlayer *player = nullptr, LSipMessage *infoInvite = nullptr);
    // Every target still listed goes to the graveyard; then, when the caller
    // still waits, it gets its final response.
    ~LPBXCallSetup();

    void Run();

  private:
    // The dialog and INVITE transaction of one target.
    struct Target {
        LPtr<LSipCall> call;
        LSipRequest invite;
        bool remove = false;
    };
    enum class End { None, Answered, Cancelled, CallerGone, Failed };

    // Loop steps.
    void PrepareMediator();
    void DrainTargets(int64_t now);
    void ScheduleTargets(int64_t now, uint32_t tick);
    bool MoveStartTimesEarlier();
    void SendRinging(uint32_t tick);
    void DrainCaller();
    void WaitForSignals();
    void AnswerNoTargetLeft();
    void AnswerCallerAfterSetup();

    // Targets.
    Target &TargetOf(LSipCallInitiateItem &item);
    void ScheduleOne(LSipCallInitiateItem &item, Target &target, int64_t now, uint32_t tick);
    void SendInvite(LSipCallInitiateItem &item, Target &target, uint32_t tick);
    void Retransmit(LSipCallInitiateItem &item, Target &target, int64_t now, uint32_t tick);
    void Reschedule(LSipCallInitiateItem &item, Target &target, int64_t when, bool refused);
    void Bury(LSipCallInitiateItem &item, Target &target, bool cancelNow);
    void RemoveMarked();

    // Responses.
    void HandleResponse(LSipCallInitiateItem &item, Target &target, LSipMessage &response,
                        int64_t now);
    void HandleFailure(LSipCallInitiateItem &item, Target &target, LSipMessage &response,
                       int64_t now);
    void Authenticate(LSipCallInitiateItem &item, Target &target, LSipMessage &response);
    void HandleAnswer(LSipCallInitiateItem &item, Target &target, LSipMessage &response,
                      int64_t now);
    void RespondToCaller(int status, const char *reason);
    void AnswerWithPlayer(LSipMessage &invite);
    void AnswerConnectedCaller(Target &target, LSipMessage &response);

    LPBXSipLine &m_Line;
    const LClock &m_Clock;
    LSipMessage *m_Invite;
    LSipMessage *m_InfoInvite;
    LPBXPlayer *m_Player;
    LSipCallInitiateList &m_List;
    LSipCall &m_Caller;
    std::unordered_map<LSipCallInitiateItem *, std::unique_ptr<Target>> m_Targets;
    End m_End = End::None;
    bool m_CallerAnswered = false; // a final response went to the caller
    bool m_AnyResponse = false;    // a target sent something other than 100
    bool m_Busy = false;           // a target answered 486 or 600
    bool m_TimeLimitReached = false;
    bool m_CrossInviteAfter = false; // the answer carried no offer
    uint32_t m_StartTick = 0;
    uint32_t m_LastRinging = 0;
    // Per pass.
    uint32_t m_Wait = kMaxWaitMs;
    int m_SecondsToNextStart = 20;
    LSignalObject *m_QueueSignal = nullptr;
};
