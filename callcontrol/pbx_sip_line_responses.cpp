// What the targets of a ringing call send back: provisional responses,
// challenges, redirects, failures and the first answer, which connects the
// caller.
#include "callcontrol/pbx_sip_line_setup.h"

#include "platform/log.h"
#include "platform/tick.h"

LSDPMessageInfo LPBXSdpInfo(const LSipMessage &message)
{
    LSDPMessageInfo info;
    const char *body = message.GetContent("application/sdp");
    info.sdpBody = body ? body : "";
    char host[kSipShortText];
    message.GetSource().ToHostString(host);
    info.sourceHost = host;
    return info;
}

namespace
{
const char *OrNull(const std::string &text)
{
    return text.empty() ? nullptr : text.c_str();
}
} // namespace

void LPBXCallSetup::DrainTargets(int64_t now)
{
    bool any = true;
    while (any && m_End == End::None) {
        any = false;
        for (LListIteratorOf<LSipCallInitiateItem> it(m_List); it.Get() && m_End == End::None;
             it.Next()) {
            LSipCallInitiateItem &item = *it.Get();
            Target &target = TargetOf(item);
            if (!item.inviteSent || target.remove)
                continue;
            LPtr<LSipMessage> message = target.call->GetNextMessage();
            if (!message)
                continue;
            any = true;
            if (message->IsResponse() && target.invite.IsResponseTo(*message))
                HandleResponse(item, target, *message, now);
            else if (!target.call->DefaultMessageProcessing(*message))
                Bury(item, target, false);
        }
        RemoveMarked();
    }
}

void LPBXCallSetup::HandleResponse(LSipCallInitiateItem &item, Target &target,
                                   LSipMessage &response, int64_t now)
{
    int status = response.GetResponseStatusCode();
    if (status != 100)
        m_AnyResponse = true;
    if (status >= 100 && status <= 199) {
        item.provisionalReceived = true;
        item.lastProvisionalTick = m_Clock.Tick();
        return;
    }
    if (status >= 200 && status <= 299) {
        HandleAnswer(item, target, response, now);
        return;
    }
    HandleFailure(item, target, response, now);
}

void LPBXCallSetup::HandleFailure(LSipCallInitiateItem &item, Target &target, LSipMessage &response,
                                  int64_t now)
{
    int status = response.GetResponseStatusCode();
    // The INVITE transaction is complete: nothing is left to cancel.
    target.call->SendAck(target.invite, response, nullptr);
    if (status == 401 || status == 407) {
        Authenticate(item, target, response);
        return;
    }
    if (status >= 300 && status <= 399) {
        m_List.AddContact(item, response);
        target.remove = true;
        return;
    }
    if (status == item.GetChainAbortResponse()) {
        target.remove = true;
        m_End = End::Failed;
        RespondToCaller(486, "Busy Here");
        return;
    }
    if (item.IsGroupMember() && (status == 486 || status == 600 || status == 480)) {
        Reschedule(item, target, now + kBusyRetrySeconds, true);
        return;
    }
    LOGERRORF("Error returned: %d %s", status, response.GetResponseReasonPhrase());
    if (status == 486 || status == 600)
        m_Busy = true;
    target.remove = true;
}

void LPBXCallSetup::Authenticate(LSipCallInitiateItem &item, Target &target, LSipMessage &response)
{
    LSipCall &call = *target.call;
    std::string offer =
        m_Line.m_Mediator.RewriteInviteSDP(!call.IsDestinationPublic(), call.IsOddRTPDisabled());
    if (!call.AuthenticateInvite(response, target.invite, OrNull(offer), nullptr, m_InfoInvite,
                                 false)) {
        target.remove = true;
        return;
    }
    call.SendRequest(target.invite);
    item.provisionalReceived = false;
    item.lastSendTick = m_Clock.Tick();
    item.retransmitInterval = kFirstRetransmitMs;
}

// The caller is answered with the target's SDP (an offer when the caller
// sent none), and the caller's ACK carries the answer on to the target.
void LPBXCallSetup::HandleAnswer(LSipCallInitiateItem &item, Target &target, LSipMessage &response,
                                 int64_t now)
{
    LSipCall &call = *target.call;
    LSDPMediator &mediator = m_Line.m_Mediator;
    call.ApplyDialogEstablishingResponse(response);
    if (!m_Invite) {
        AnswerConnectedCaller(target, response);
        if (m_End == End::CallerGone)
            return;
        m_Line.SetAnswered(target.call, item.GetOutboundDialRules(), now);
        target.remove = true;
        m_End = End::Answered;
        if (m_CrossInviteAfter)
            m_Line.CrossInvite(false);
        if (mediator.IsReattemptWithRelayRequired())
            m_Line.CrossInvite(true);
        return;
    }
    std::string sdp =
        mediator.RewriteOkSDP(LPBXSdpInfo(response), call.IsDestinationPublic(),
                              m_Caller.IsDestinationPublic(), m_Caller.IsOddRTPDisabled());
    m_Caller.SetDialogEstablished(true);
    m_CallerAnswered = true;
    LPtr<LSipMessage> ack;
    int status = m_Caller.SendResponseAndWaitForAck(m_Line, *m_Invite, ack, 200, "OK", sdp.c_str());
    if (status != 200 || !ack) {
        // The target answered into a call nobody will take: its dialog
        // exists, so it is ended with a BYE (RFC 3261 section 15), not with
        // a CANCEL that comes after its final response.
        call.SendAck(target.invite, response, nullptr);
        LSipAddCallToGraveyard(target.call);
        target.remove = true;
        m_End = End::CallerGone;
        return;
    }
    std::string answer = mediator.RewriteAckSDP(LPBXSdpInfo(*ack), m_Caller.IsDestinationPublic(),
                                                call.IsOddRTPDisabled());
    call.SendAck(target.invite, response, OrNull(answer));
    m_Line.SetAnswered(target.call, item.GetOutboundDialRules(), now);
    target.remove = true;
    m_End = End::Answered;
    // The answer showed that the audio needs the relay after all.
    if (mediator.IsReattemptWithRelayRequired())
        m_Line.CrossInvite(true);
}
