// One SIP dialog (one leg of a call) and the blocking primitives a call
// thread drives it with. There are no callbacks: the engine queues every
// message of the dialog, and the owner takes them with a time-out. UDP
// reliability is the dialog's own work: requests are repeated until a
// response comes, a 2xx is repeated until its ACK (RFC 3261 section 13.3.1.4).
#pragma once

#include "platform/list.h"
#include "platform/lock.h"
#include "platform/ptr.h"
#include "platform/signal.h"
#include "platform/thread.h"
#include "sip/sip_graveyard.h"
#include "sip/sip_handlers.h"
#include "sip/sip_request.h"
#include "sip/sip_special_flags.h"
#include "sip/sip_stack.h"
#include "sip/sipmessage.h"

#include <atomic>
#include <cstdint>
#include <string>

// Intervals and limits of the primitives; the service keeps the defaults.
struct LSipDialogTiming {
    uint32_t resendMs = 500; // request repeated until a response
    // A final response is repeated until its ACK on RFC 3261 Timer G: first
    // after T1, doubling up to T2, and given up at Timer H (64 * T1).
    uint32_t ackWaitSliceMs = 500;
    uint32_t ackWaitSliceMaxMs = 4000;
    uint32_t ackLimitMs = 32000;
    uint32_t cancelSliceMs = 350;
    uint32_t cancelLimitMs = 1000; // no provisional response seen
    uint32_t cancelLimitProvisionalMs = 2000;
    uint32_t reInviteSliceMs = 500;
    uint32_t reInviteSliceProvisionalMs = 3000;
    uint32_t reInviteLimitMs = 5000;
    uint32_t reInviteLimitProvisionalMs = 25000;
    uint32_t pollResendMs = 750;
    uint32_t pollOptionsFromMs = 3000;
    uint32_t pollDeadMs = 6000;
    uint32_t optionsLimitMs = 5000; // OPTIONS and NOTIFY of a dialog
};

class LSipCall;

// The other dialog of the same call, watched while a re-INVITE on this one
// waits, and its request that the re-INVITE passes on (a phone's hold, say;
// null when the exchange re-INVITEs by itself). Its BYE, or its CANCEL of
// that request, ends the wait: 200 to it, 487 to the request.
struct LSipPassedOn {
    LSipCall &leg;
    const LSipMessage *request = nullptr;
    bool cancelled = false; // the sender cancelled the request
};

class LSipCall : public LSignalObject, public LSipDialogTaker, public LSipGraveyardLeg
{
  public:
    // A dialog the exchange opens towards remote.
    LSipCall(const LSipStack &stack, const char *remote, const char *local,
             const char *outboundProxy, const char *userID, const char *authID,
             const char *password);
    // A dialog opened by a received INVITE.
    LSipCall(const LSipStack &stack, const LSipMessage &invite, const char *userID,
             const char *authID, const char *password);
    // A new dialog with the same identity towards another target.
    LSipCall(const LSipCall &other, const char *remoteTarget);
    // The dialog that another answer to invited's INVITE opened (a forked
    // INVITE answered twice): the same Call-ID and local tag, the answer's
    // tag, Contact and Record-Route. It takes that dialog's messages only.
    LSipCall(const LSipCall &invited, const LSipMessage &answer);
    ~LSipCall() override;

    // Engine side (receive thread).
    bool HandleNewMessage(LPtr<LSipMessage> &message) override;
    bool HandleInviteReplaces(LPtr<LSipMessage> &message, const char *callId) override;

    const LSipStack &GetStack() const { return m_Stack; }
    LSipEngine &GetEngine() const { return m_Stack.engine; }
    const char *GetCallID() const { return m_CallID; }
    const char *GetDialogCallID() const override { return m_CallID; }
    const char *GetLocalTag() const { return m_LocalTag; }
    const char *GetLocalUserID() const { return m_LocalUserID; }
    const char *GetLocalAuthID() const { return m_LocalAuthID; }
    const char *GetLocalPassword() const { return m_LocalPassword; }
    const char *GetLocalToFrom() const { return m_LocalToFrom; }
    const char *GetRemoteToFrom() const { return m_RemoteToFrom; }
    const char *GetRemoteTargetURI() const { return m_RemoteTargetURI; }
    void SetRemoteTargetURI(const char *uri) { LSipCopy(m_RemoteTargetURI, uri); }
    const char *GetRouteSet() const { return m_RouteSet; }
    bool IsRouteSetDefault() const { return m_RouteSetDefault; }
    bool IsDialogEstablished() override { return m_DialogEstablished; }
    void SetDialogEstablished(bool established = true) { m_DialogEstablished = established; }
    uint32_t GetRemoteSpecialFlags() const { return m_RemoteSpecialFlags; }
    void SetRemoteSpecialFlags(uint32_t flags) { m_RemoteSpecialFlags = flags; }
    bool IsActivityPollingDisabled() const
    {
        return m_RemoteSpecialFlags & kRemoteActivityPollingDisabled;
    }
    bool IsOddRTPDisabled() const { return m_RemoteSpecialFlags & kRemoteOddRTPDisabled; }
    bool IsEmptyInviteDisabled() const { return m_RemoteSpecialFlags & kRemoteEmptyInviteDisabled; }
    bool IsAlwaysRelay() const { return m_RemoteSpecialFlags & kRemoteAlwaysRelay; }
    bool IsRelayNotNeeded() const { return m_RemoteSpecialFlags & kRemoteRelayNotNeeded; }
    void DisableActivityPolling() { m_RemoteSpecialFlags |= kRemoteActivityPollingDisabled; }
    void DisableEmptyInvite() { m_RemoteSpecialFlags |= kRemoteEmptyInviteDisabled; }
    // Set by the caller side when the call was placed by an extension that
    // passed the digest check; only then may answer modes be passed on.
    bool IsCallerAuthenticated() const { return m_CallerAuthenticated; }
    void SetCallerAuthenticated(bool authenticated) { m_CallerAuthenticated = authenticated; }
    // True exactly for dialogs created from a received INVITE.
    bool IsLocalInitiatedCall() const { return m_InitialCSeq[0] != 0; }
    bool IsDestinationPublic() const;
    uint32_t GetNextLocalCSeq() { return ++m_LocalSequence; }

    // Owner side. The thread's stop request ends every wait.
    LPtr<LSipMessage> GetNextMessage() override;
    LPtr<LSipMessage> WaitMessage(uint32_t ms);
    void SendRequest(const LSipRequest &request);
    // Also answers repeats of response with this request from the engine's
    // answered cache (the ACK of a repeated final response).
    void SendRequest(const LSipRequest &request, const LSipMessage &response);
    void SendResponse(const LSipMessage &request, int status, const char *reason,
                      const char *contentType = nullptr, const char *content = nullptr);
    void SendResponseWithContact(const LSipMessage &request, int status, const char *reason,
                                 const char *contentType = nullptr, const char *content = nullptr);

    int SendRequestAndWaitForResponse(LThread &thread, const LSipRequest &request,
                                      LPtr<LSipMessage> &response, uint32_t timeoutMs);
    int SendResponseAndWaitForAck(LThread &thread, const LSipMessage &request,
                                  LPtr<LSipMessage> &ack, int status, const char *reason,
                                  const char *sdp);
    int SendResponseAndWaitUntilAck(LThread &thread, const LSipMessage &request, int status,
                                    const char *reason);
    int SendCancel(const LSipRequest &invite, bool provisionalSeen);
    void SendAck(const LSipRequest &invite, const LSipMessage &response, const char *sdp);
    // Non-2xx final responses are acknowledged here; a 2xx is left to the
    // owner, whose ACK may carry SDP. With passedOn, its BYE or CANCEL ends
    // the wait (see LSipPassedOn): this re-INVITE is cancelled (any final
    // response acknowledged), and 487 comes back without a response.
    int SendReInviteAndWaitForFinalResponse(LThread &thread, LSipRequest &request,
                                            LPtr<LSipMessage> &response, const char *sdp,
                                            LSipPassedOn *passedOn = nullptr);
    // The back-off after a 491 (RFC 3261 section 14.1): the next message of
    // this dialog within ms, watching passedOn as the re-INVITE does; ended
    // is set when passedOn's BYE or CANCEL ended the wait.
    LPtr<LSipMessage> WaitBackOff(LThread &thread, uint32_t ms, LSipPassedOn &passedOn,
                                  bool &stopped, bool &ended);
    int SendOptions(LThread &thread, LPtr<LSipMessage> &response);
    // An INFO with the body of info (none when it has none); the final
    // status as SendOptions gives it.
    int SendInfo(LThread &thread, const LSipMessage &info, LPtr<LSipMessage> &response);
    int SendNotify(LThread &thread, int status, const char *reason);
    bool PollActive(LThread &thread);
    // Answers a stray in-dialog message, and acknowledges a 2xx to an
    // INVITE no longer awaited; false when it ended the dialog.
    bool DefaultMessageProcessing(const LSipMessage &message);

    void ApplyDialogEstablishingResponse(const LSipMessage &response);
    void ApplyRouteSetFromResponse(const LSipMessage &response);
    void ApplyRouteSetFromRequest(const LSipMessage &request);
    void SetRemoteTargetURI(const LSipMessage &message);
    void ApplyRemoteToFromResponse(const LSipMessage &response);
    void ApplyUserAgentTests(const LSipMessage &message);

    // Answers a 401/407 to an INVITE: request is rebuilt with credentials.
    bool AuthenticateInvite(const LSipMessage &response, LSipRequest &request, const char *sdp,
                            const char *replaces, const LSipMessage *message, bool autoAnswer);

    // The graveyard's view of the leg (it owns the leg from then on).
    bool WatchQueue(LSipGraveyard *graveyard) override;
    void CreateBye() override;
    void CreateCancel() override;
    void Send(Request request) override;
    bool IsResponseTo(const LSipMessage &response, Request request) override;
    void Acknowledge(const LSipMessage &response) override;
    void AuthenticateBye(const LSipMessage &challenge) override;
    void Respond(const LSipMessage &request, int status, const char *reason) override;
    void SetOutstandingInvite(const LSipRequest &invite) { m_GraveInvite = invite; }

  private:
    void Queue(LPtr<LSipMessage> &message);
    bool IsInitialInviteRepeat(const LSipMessage &message);
    void AbsorbFinalResponse(const LSipRequest &invite);
    // The ACK of a 2xx to an INVITE of the dialog that is no longer at hand.
    void AcknowledgeLate(const LSipMessage &response);
    // Next message within ms; stopped is set on the owner's stop request.
    LPtr<LSipMessage> WaitMessage(LThread &thread, uint32_t ms, bool &stopped);
    // The same, also watching passedOn's queue for a BYE or a CANCEL of its
    // request, which is answered (200, and 487 to the request) and sets
    // ended; its other messages are set aside meanwhile.
    LPtr<LSipMessage> WaitMessage(LThread &thread, uint32_t ms, bool &stopped,
                                  LSipPassedOn &passedOn, bool &ended);
    // Moves the queued messages aside up to the first BYE, or CANCEL of
    // pending, which is taken out and returned; RestoreAside puts them back
    // in front, in order. Repeats are answered and dropped on the way.
    LPtr<LSipMessage> SetAsideUntilEnd(const LSipMessage *pending);
    void RestoreAside();
    // Answers end, the BYE or CANCEL of this dialog that ended a wait.
    void EndPassedOn(LSipPassedOn &passedOn, const LSipMessage &end);
    // "<sip:user@address:port>" with the address the peer should use.
    void MakeContact(const LIPAddressWithPort &peer, std::string &out);
    void SetLocalToFrom(const char *nameAddress);
    bool CopyRemoteTag(char (&out)[kSipLongText]) const;
    bool RemoteTagIs(const char *tag) const;
    bool IsFromRemoteTag(const LSipMessage &request) const;
    bool IsOfThisDialog(const LSipMessage &message);
    void SetDialogTag();
    bool IsOtherForksAnswer(const LSipMessage &response);
    void EndOtherFork(const LSipMessage &answer);

    const LSipStack m_Stack;
    char m_CallID[kSipLongText] = {0};
    char m_LocalTag[kSipLongText] = {0};
    uint32_t m_LocalSequence = 0;
    char m_InitialCSeq[kSipLongText] = {0};
    char m_InitialVia[kSipLongText] = {0};
    char m_LocalUserID[kSipLongText] = {0};
    char m_LocalAuthID[kSipLongText] = {0};
    char m_LocalPassword[kSipLongText] = {0};
    char m_LocalToFrom[kSipLongText] = {0};
    char m_RemoteToFrom[kSipLongText] = {0};
    char m_RemoteTargetURI[kSipLongText] = {0};
    bool m_RouteSetDefault = false;
    char m_RouteSet[kSipLongText] = {0};
    bool m_DialogEstablished = false;
    bool m_CallerAuthenticated = false;
    uint32_t m_RemoteSpecialFlags = 0;
    mutable LLockObject m_QueueLock;
    LListOf<LSipMessage> m_Queue;
    LListOf<LSipMessage> m_Aside; // under the queue lock as well
    // Whether the signal is set or about to be, under the queue lock: it is
    // set while the queue holds a message, so only the first message into an
    // empty queue writes it and only the take that empties the queue reads
    // it back (and keeps the mark while the write is still on its way).
    bool m_Signalled = false;
    // Writes of the signal still on their way (made after the queue lock was
    // let go) and the mark that the leg went to the graveyard meanwhile: the
    // last of those writes then releases the descriptor, so that none meets
    // a descriptor that went back to the pool, and nobody waits for them.
    static constexpr uint32_t kReleaseDue = 0x80000000u;
    std::atomic<uint32_t> m_SignalWrites{0};
    std::atomic<LSipGraveyard *> m_Graveyard{nullptr}; // told of each queued message
    // The remote tag once an answer set up the dialog, under the queue lock
    // (the receive thread reads it): messages with another tag belong to
    // another fork's dialog, except the INVITE's responses for its owner.
    char m_DialogTag[kSipLongText] = {0};
    bool m_OtherFork = false; // only its own tag, even for INVITE responses
    // Other branches' answers ended in dialogs of their own (owner side).
    // Each costs an ACK and a BYE repeated until answered, so whoever knows
    // the Call-ID and our tag could otherwise make many of them.
    static constexpr int kMaxOtherForks = 4;
    int m_OtherForks = 0;
    LSipRequest m_GraveInvite;
    LSipRequest m_GraveCancel;
    LSipRequest m_GraveBye;
};

// The to-tag and from-tag (and any other) parameters of a "Replaces" value
// (RFC 3891), names in lower case.
void LSipReadReplacesTags(const char *replaces, LHashTable &parameters);

// The graveyard takes the call out of the pointer (null is ignored): BYE for
// a dialog that may be established; for an INVITE without a final response,
// CANCEL now or after its first provisional response.
void LSipAddCallToGraveyard(LPtr<LSipCall> &call);
void LSipAddCallToGraveyard(LPtr<LSipCall> &call, const LSipRequest &invite, bool cancelNow);
