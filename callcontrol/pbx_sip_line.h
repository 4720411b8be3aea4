// One call between two parties, as a thread of its own: the exchange stays in
// the middle as a back-to-back user agent. The thread owns the caller's leg
// (the dialog of the received INVITE) and, once a target answers, the
// answered leg. It rings the targets of its list in stages, connects the
// first one to answer and then keeps the two legs connected.
#pragma once

#include "callcontrol/initiate_list.h"
#include "callcontrol/new_invite.h"
#include "callcontrol/pbx_context.h"
#include "media/callsources.h"
#include "media/pbx_player.h"
#include "media/sdp_mediator.h"
#include "platform/lock.h"
#include "platform/ptr.h"
#include "platform/signal.h"
#include "platform/thread.h"
#include "sip/sip_call.h"
#include "sip/sipmessage.h"

#include <cstdint>
#include <memory>

constexpr int kPBXLineTextSize = 260;

// The exchange's side of SDP mediation: relays come from the RTP relay, the
// public address from the SIP engine, "Quality" and "Active" from the
// context.
class LPBXMediatorHost : public LSDPMediatorHost
{
  public:
    explicit LPBXMediatorHost(const LPBXContext &context) : m_Context(context) {}
    std::unique_ptr<LSDPRelay> CreateRelay() override;
    std::string GetPublicIP() override;
    LSDPSettings &GetSdpSettings() override { return m_Context.sdp; }

  private:
    const LPBXContext &m_Context;
};

class LPBXSipLine : public LDetachedThread
{
  public:
    // What only the set-up needs; released as soon as it ends.
    struct InitData {
        LPtr<LSipMessage> invite;
        LPtr<LSipCallInitiateList> list;
        char startPrompt[kPBXLineTextSize] = "";
        char waitHold[kPBXLineTextSize] = "";
    };

    // Runs on the SIP engine's receive thread: takes the INVITE and the list,
    // makes the caller leg and answers 100 "Trying" at once.
    LPBXSipLine(const LPBXContext &context, LPtr<LSipMessage> &invite,
                LPtr<LSipCallInitiateList> &list, const char *startPrompt, const char *waitHold,
                const LPBXCallStart &start);
    ~LPBXSipLine() override;

    const char *GetOutboundDialRules(const LSipCall *leg) const;
    void SetOutboundDialRules(const LSipCall *leg, const char *text);

    void EnableSwapCalls();
    void DisableSwapCalls();

    // Offered to the other call threads (attended transfer): when swapping
    // is enabled and one of this thread's legs has callId, that leg and leg
    // change places and 1 is returned; 0 when no leg has callId, -1 when
    // this thread cannot swap now.
    int HandleTransfer(const char *callId, LPtr<LSipCall> &leg);

    LSipCall *GetCallerLeg() { return m_CallerLeg.Get(); }
    LSipCall *GetAnsweredLeg() { return m_AnsweredLeg.Get(); }
    int64_t GetAnswerTime() const { return m_AnswerTime; }
    // The quiet time before polling, as read at the call's start (0: read
    // it when the call connects).
    void SetActivityPollMs(uint32_t ms) { m_PollAfterMs = ms; }

  protected:
    void ThreadFunction() override;

  private:
    friend class LPBXCallSetup;
    using Slot = LPtr<LSipCall>;

    // The set-up loop for a caller still waiting for the answer to its
    // INVITE. Success is an answered leg that is no longer empty.
    void InitiateCall(LSipMessage &invite, LSipCallInitiateList &list);
    // The set-up loop for a caller already connected to the exchange's
    // player (a queued or transferred party): a target's offer reaches it
    // by re-INVITE. invite, when given, is the caller's answered INVITE,
    // whose details the targets' INVITEs copy.
    void InitiateCall(LPBXPlayer &player, LSipCallInitiateList &list,
                      LSipMessage *invite = nullptr);
    // Called by the set-up when a target has answered and both legs are
    // established: takes the target's dialog as the answered leg.
    void SetAnswered(LPtr<LSipCall> &leg, const char *dialRules, int64_t now);
    // The connected phase: everything that happens between the answer and
    // the end of the call.
    void RunCall();
    void EndCall();

    // The exchange's own media towards the caller. StartPlayerInvite answers
    // the caller's INVITE with the player's SDP (415 when no codec is
    // shared) and plays source once the media is agreed; false when the
    // caller was refused or never acknowledged. StartPlayer moves an
    // established leg's media to the player by re-INVITE.
    bool StartPlayerInvite(LPBXPlayer &player, LSipMessage &invite, const LSoundSource &source);
    bool StartPlayer(LPBXPlayer &player, Slot &leg, Slot &other, const LSoundSource &source);
    // Ringing, hold music and announcements, from the shared data folder.
    LPlayerSources Sources() const;

    // In-call handling; false ends the call. Legs are passed as slots, so
    // that a leg put into a slot meanwhile is the one used.
    bool RunCallTestForMessages(Slot &leg, Slot &other);
    bool RunCallMessageProcessing(LSipMessage &message, Slot &leg, Slot &other);
    bool PassInvite(LSipMessage &invite, Slot &leg, Slot &other);
    bool PassOptions(LSipMessage &options, LSipCall &leg, LSipCall &other);
    bool PassInfo(LSipMessage &info, LSipCall &leg, LSipCall &other);
    bool HandleRefer(LSipMessage &refer, Slot &leg, Slot &other);
    bool AttendedTransfer(const char *callId, Slot &leg, Slot &other);
    bool BlindTransfer(const char *target, Slot &leg, Slot &other);
    // Sends a re-INVITE on leg (offer may be empty) and waits for its final
    // response, backing off and retrying after 491 (RFC 3261 section
    // 14.1). True with a 2xx in response; its ACK is the caller's work.
    // passedOn: the request of other that the re-INVITE passes on.
    bool Reinvite(Slot &leg, Slot &other, LSipRequest &request, LPtr<LSipMessage> &response,
                  const char *offer, LSipPassedOn *passedOn = nullptr);
    bool RunGlare(Slot &leg, Slot &other, LSipPassedOn *passedOn);
    // Media renegotiation between the two legs: an INVITE without offer to
    // the caller leg, its offer to the answered leg, the answer back.
    bool CrossInvite(bool forceRelay);
    void PrepareMediator(bool forceRelay);
    void SwapSlots();

    const LPBXContext &m_Context;
    LPtr<InitData> m_InitData;
    bool m_SwapEnabled = false;
    LLockObject m_SwapLock;
    LSignalObject m_SwapSignal;
    LPtr<LSipCall> m_CallerLeg;
    LPtr<LSipCall> m_AnsweredLeg;
    char m_CallerDialRules[kPBXLineTextSize] = "";
    char m_AnsweredDialRules[kPBXLineTextSize] = "";
    LPBXMediatorHost m_MediatorHost;
    LSDPMediator m_Mediator;
    int64_t m_StartTime = 0;
    int64_t m_AnswerTime = 0;
    uint32_t m_PollAfterMs = 0;
    char m_Caller[kPBXLineTextSize] = "";
    char m_Target[kPBXLineTextSize] = "";
    char m_RecordDescription[kPBXLineTextSize] = "";
    std::shared_ptr<void> m_SourceSlot; // counts an unauthenticated caller's calls
};
