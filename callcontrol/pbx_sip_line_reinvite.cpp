// Re-INVITEs of a connected call: one side's re-INVITE (hold, resume, new
// media) passed to the other through the SDP mediator, glare between
// re-INVITEs of both sides, and media renegotiation by the exchange itself.
#include "callcontrol/pbx_sip_line.h"
#include "callcontrol/pbx_sip_line_incall.h"
#include "callcontrol/pbx_sip_line_setup.h"
#include "platform/log.h"
#include "platform/tick.h"
#include "sip/sipfields.h"

#include <optional>

namespace
{
const char *OrNull(const std::string &text)
{
    return text.empty() ? nullptr : text.c_str();
}

// A re-INVITE refused for what it asked (488 for its media, 403, 500 ...)
// leaves the dialog as it was. 408 and 481 end the dialog (RFC 3261 section
// 12.2.1.2); 401 and 407 mean the exchange's own credentials were refused,
// and 491 has its own back-off: those end the call as before.
bool IsRefusalThatKeepsTheCall(int status)
{
    return status >= 400 && status <= 699 && status != 401 && status != 407 && status != 408 &&
           status != 481 && status != 491;
}
} // namespace

// One leg that must always be relayed relays the call; relay is left out
// when either leg says it is not needed.
void LPBXSipLine::PrepareMediator(bool forceRelay)
{
    m_Mediator.Reset();
    m_Mediator.SetRecorder(m_RecordDescription);
    bool always = (m_CallerLeg && m_CallerLeg->IsAlwaysRelay()) ||
                  (m_AnsweredLeg && m_AnsweredLeg->IsAlwaysRelay());
    if (always || forceRelay)
        m_Mediator.SetForceRelayBothWays();
    else if ((m_CallerLeg && m_CallerLeg->IsRelayNotNeeded()) ||
             (m_AnsweredLeg && m_AnsweredLeg->IsRelayNotNeeded()))
        m_Mediator.SetRelayNotRequired();
}

void LPBXSipLine::SwapSlots()
{
    LLockScope scope(m_SwapLock);
    m_CallerLeg.Swap(m_AnsweredLeg);
}

// An INVITE with "Replaces" (RFC 3891) is a new dialog taking the place of
// leg, for example the target of an attended transfer the phone did itself.
bool LPBXSipLine::PassInvite(LSipMessage &invite, Slot &leg, Slot &other)
{
    bool replaces = invite.FindField(LSipFields::Replaces.name, nullptr) != nullptr;
    if (replaces) {
        LPtr<LSipCall> fresh(new LSipCall(leg->GetStack(), invite, leg->GetLocalUserID(),
                                          leg->GetLocalAuthID(), leg->GetLocalPassword()));
        leg.Swap(fresh);
        LSipAddCallToGraveyard(fresh);
        leg->SetDialogEstablished(true);
    } else {
        leg->SetRemoteTargetURI(invite);
    }
    PrepareMediator(false);
    m_Mediator.ReceiveInviteSDP(LPBXSdpInfo(invite), other->IsDestinationPublic());
    std::string offer =
        m_Mediator.RewriteInviteSDP(!other->IsDestinationPublic(), other->IsOddRTPDisabled());
    // The other side may well take longer than 200 ms: without a provisional
    // response the phone repeats its INVITE (RFC 3261 section 17.2.1) and
    // may not CANCEL it (section 9.1).
    leg->SendResponse(invite, 100, "Trying");
    LSipRequest request;
    LPtr<LSipMessage> response;
    LSipPassedOn passedOn{*leg, &invite};
    if (!Reinvite(other, leg, request, response, offer.c_str(), &passedOn)) {
        // The phone cancelled its request and got 487. Passing its offer on
        // has retired the relay the audio ran through, and a 2xx that
        // crossed our CANCEL left the other side with media the phone has
        // withdrawn: renegotiating both legs from the phone's present
        // session is the one outcome consistent in every case.
        if (passedOn.cancelled) {
            LOG("LPBXSipLine::PassInvite: cancelled by its sender, renegotiating");
            return CrossInvite(false);
        }
        // The other side hung up meanwhile (its BYE, or a 481 because its
        // BYE crossed ours): the request was ended, not timed out (RFC 3261
        // section 15.1.2). When this side hung up, the wait answered its
        // BYE and this request already. The call ends either way.
        if (!leg->IsDialogEstablished())
            return false;
        if (!other->IsDialogEstablished()) {
            leg->SendResponse(invite, 487, "Request Terminated");
            return false;
        }
        // The other side refused the change and keeps its session as it
        // was (RFC 3261 section 14.1), and so does the phone once told why.
        // The offer passed on has retired the relay, so both legs are
        // renegotiated from their present sessions, as after a withdrawal.
        if (response && IsRefusalThatKeepsTheCall(response->GetResponseStatusCode())) {
            leg->SendResponse(invite, response->GetResponseStatusCode(),
                              response->GetResponseReasonPhrase());
            LOG("LPBXSipLine::PassInvite: refused by the other side, renegotiating");
            return CrossInvite(false);
        }
        leg->SendResponse(invite, 408, "Request Timeout");
        return false;
    }
    std::string sdp = m_Mediator.RewriteOkSDP(LPBXSdpInfo(*response), other->IsDestinationPublic(),
                                              leg->IsDestinationPublic(), leg->IsOddRTPDisabled());
    LPtr<LSipMessage> ack;
    int status =
        leg->SendResponseAndWaitForAck(*this, invite, ack, response->GetResponseStatusCode(),
                                       response->GetResponseReasonPhrase(), sdp.c_str());
    if (status != 200 || !ack) {
        other->SendAck(request, *response, nullptr);
        return false;
    }
    std::string answer = m_Mediator.RewriteAckSDP(LPBXSdpInfo(*ack), leg->IsDestinationPublic(),
                                                  other->IsOddRTPDisabled());
    other->SendAck(request, *response, OrNull(answer));
    if (m_Mediator.IsReattemptWithRelayRequired())
        CrossInvite(true);
    return true;
}

bool LPBXSipLine::Reinvite(Slot &leg, Slot &other, LSipRequest &request,
                           LPtr<LSipMessage> &response, const char *offer, LSipPassedOn *passedOn)
{
    for (;;) {
        response.Reset();
        int status = leg->SendReInviteAndWaitForFinalResponse(
            *this, request, response, offer && *offer ? offer : nullptr, passedOn);
        LOGF("LPBXSipLine::Reinvite uInviteResponse: %d", status);
        if (!response)
            return false;
        if (status >= 200 && status <= 299)
            return true;
        // The dialog has acknowledged the failure already. One that ended
        // the dialog (a 481: the far end hung up meanwhile) ends the call
        // without being its fault.
        if (status != 491) {
            LOG(leg->IsDialogEstablished()
                    ? "LPBXSipLine::Reinvite FAILED"
                    : "LPBXSipLine::Reinvite: the far end has left the call");
            return false;
        }
        if (!RunGlare(leg, other, passedOn))
            return false;
    }
}

// The owner of the Call-ID (the side that opened the dialog) waits longer
// than the other side, so that the other side's retry wins (RFC 3261
// section 14.1). A message arriving meanwhile is handled and ends the wait;
// the other leg is watched as during the re-INVITE, so that its BYE (or its
// CANCEL of the request being passed on) is answered at once.
bool LPBXSipLine::RunGlare(Slot &leg, Slot &other, LSipPassedOn *passedOn)
{
    uint32_t waitMs = LPBXGlareWaitMs(leg->IsLocalInitiatedCall(), m_Context.sip.clock.Tick());
    uint32_t start = m_Context.sip.clock.Tick();
    std::optional<LSipPassedOn> watched;
    if (!passedOn && other)
        passedOn = &watched.emplace(LSipPassedOn{*other});
    for (;;) {
        uint32_t elapsed = m_Context.sip.clock.Since(start);
        if (IsToStop())
            return false;
        if (elapsed + kPBXInCallTiming.glareSlackMs >= waitMs)
            return true;
        bool stopped = false, ended = false;
        LPtr<LSipMessage> message =
            passedOn ? leg->WaitBackOff(*this, waitMs - elapsed, *passedOn, stopped, ended)
                     : leg->WaitMessage(waitMs - elapsed);
        if (stopped || ended)
            return false;
        if (message)
            return other ? RunCallMessageProcessing(*message, leg, other)
                         : leg->DefaultMessageProcessing(*message);
    }
}

// An INVITE without offer makes the caller leg offer; that offer goes to the
// answered leg, and its answer comes back in the caller leg's ACK.
bool LPBXSipLine::CrossInvite(bool forceRelay)
{
    if (!m_CallerLeg || !m_AnsweredLeg)
        return false;
    PrepareMediator(forceRelay);
    // Some gateways refuse an INVITE without offer: the other side gets it.
    if (m_CallerLeg->IsEmptyInviteDisabled())
        SwapSlots();
    LSipRequest first;
    LPtr<LSipMessage> offered;
    if (!Reinvite(m_CallerLeg, m_AnsweredLeg, first, offered, nullptr))
        return false;
    std::string offer = m_Mediator.RewriteOkSDP(
        LPBXSdpInfo(*offered), m_CallerLeg->IsDestinationPublic(),
        m_AnsweredLeg->IsDestinationPublic(), m_AnsweredLeg->IsOddRTPDisabled());
    LSipRequest second;
    LPtr<LSipMessage> answered;
    if (!Reinvite(m_AnsweredLeg, m_CallerLeg, second, answered, offer.c_str())) {
        // The 2xx is still acknowledged, so that the far end stops repeating it.
        m_CallerLeg->SendAck(first, *offered, nullptr);
        return false;
    }
    std::string answer = m_Mediator.RewriteOkSDP(
        LPBXSdpInfo(*answered), m_AnsweredLeg->IsDestinationPublic(),
        m_CallerLeg->IsDestinationPublic(), m_CallerLeg->IsOddRTPDisabled());
    m_CallerLeg->SendAck(first, *offered, OrNull(answer));
    m_AnsweredLeg->SendAck(second, *answered, nullptr);
    if (!forceRelay && m_Mediator.IsReattemptWithRelayRequired())
        return CrossInvite(true);
    return true;
}
