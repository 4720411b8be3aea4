// The blocking primitives of a dialog: a request repeated until its
// response, a response repeated until its ACK, CANCEL, ACK and re-INVITE.
#include "platform/clock.h"
#include "sip/sip_call.h"
#include "sip/sip_engine.h"
#include "sip/siplayouts.h"

#include <cstring>

namespace
{
bool IsMethod(const LSipMessage &message, const char *method)
{
    return message.IsRequest() && strcmp(message.GetRequest(), method) == 0;
}

bool Given(const char *text)
{
    return text && text[0];
}
} // namespace

int LSipCall::SendRequestAndWaitForResponse(LThread &thread, const LSipRequest &request,
                                            LPtr<LSipMessage> &response, uint32_t timeoutMs)
{
    uint32_t start = m_Stack.clock.Tick();
    bool provisional = false;
    SendRequest(request);
    uint32_t lastSend = m_Stack.clock.Tick();
    for (;;) {
        bool stopped = false;
        // Repeats go out on the timer only (RFC 3261 section 17.1.2.2), not on
        // every unrelated message that wakes the wait. Once a provisional
        // response stopped them, the wait runs to the time limit: a zero wait
        // there would spin until it.
        uint32_t sinceSend = m_Stack.clock.Since(lastSend);
        uint32_t elapsed = m_Stack.clock.Since(start);
        uint32_t wait = provisional ? (elapsed < timeoutMs ? timeoutMs - elapsed : 0)
                        : sinceSend < m_Stack.timing.resendMs ? m_Stack.timing.resendMs - sinceSend
                                                              : 0;
        LPtr<LSipMessage> message = WaitMessage(thread, wait, stopped);
        if (stopped)
            return 408;
        if (message && request.IsResponseTo(*message)) {
            int status = message->GetResponseStatusCode();
            if (status >= 200) {
                response.Assign(message);
                return status;
            }
            provisional = true;
        } else if (message && !DefaultMessageProcessing(*message))
            return 487;
        if (m_Stack.clock.Since(start) >= timeoutMs)
            return 408;
        if (!provisional && m_Stack.clock.Since(lastSend) >= m_Stack.timing.resendMs) {
            SendRequest(request);
            lastSend = m_Stack.clock.Tick();
        }
    }
}

// The response text is composed once, so every repeat is the same datagram
// and a retransmitted request is answered with it by the engine's cache.
int LSipCall::SendResponseAndWaitForAck(LThread &thread, const LSipMessage &request,
                                        LPtr<LSipMessage> &ack, int status, const char *reason,
                                        const char *sdp)
{
    std::string text;
    if (status == 200) {
        std::string contact;
        MakeContact(request.GetSource(), contact);
        LSipComposeResponse(text, request, 200, "OK", m_LocalTag, contact.c_str(),
                            Given(sdp) ? "application/sdp" : nullptr, Given(sdp) ? sdp : nullptr,
                            true, nullptr);
    } else
        LSipComposeResponse(text, request, status, reason, m_LocalTag, nullptr, nullptr, nullptr,
                            false, nullptr);
    LIPAddressWithPort to(request.GetSource());
    m_Stack.engine.SendPacketUDP(to, text);
    m_Stack.engine.AddAnsweredMessage(request, to, text);
    uint32_t start = m_Stack.clock.Tick(), interval = m_Stack.timing.ackWaitSliceMs,
             nextSend = interval;
    for (;;) {
        bool stopped = false;
        uint32_t elapsed = m_Stack.clock.Since(start);
        uint32_t wait = nextSend > elapsed ? nextSend - elapsed : 0;
        LPtr<LSipMessage> message = WaitMessage(thread, wait, stopped);
        if (stopped)
            return 408;
        if (message && IsMethod(*message, "ACK")) {
            ack.Assign(message);
            return 200;
        }
        if (message && !DefaultMessageProcessing(*message))
            return 487;
        elapsed = m_Stack.clock.Since(start);
        if (elapsed >= m_Stack.timing.ackLimitMs)
            return 408;
        if (elapsed < nextSend)
            continue;
        m_Stack.engine.SendPacketUDP(to, text);
        interval = interval * 2 > m_Stack.timing.ackWaitSliceMaxMs
                       ? m_Stack.timing.ackWaitSliceMaxMs
                       : interval * 2;
        nextSend = elapsed + interval;
    }
}

int LSipCall::SendResponseAndWaitUntilAck(LThread &thread, const LSipMessage &request, int status,
                                          const char *reason)
{
    LPtr<LSipMessage> ack;
    return SendResponseAndWaitForAck(thread, request, ack, status, reason, nullptr);
}

// RFC 3261 section 9.1: a CANCEL must not be sent before a provisional
// response, so until one arrives the attempt only listens. Other messages
// get the default processing meanwhile: a late 2xx to an earlier INVITE of
// the dialog is acknowledged now, not on its next repeat.
int LSipCall::SendCancel(const LSipRequest &invite, bool provisionalSeen)
{
    LSipRequest cancel;
    cancel.CreateCancelRequest(*this, invite);
    uint32_t limit =
        provisionalSeen ? m_Stack.timing.cancelLimitProvisionalMs : m_Stack.timing.cancelLimitMs;
    const uint32_t slice = m_Stack.timing.cancelSliceMs;
    uint32_t start = m_Stack.clock.Tick(), lastSend = start;
    bool answered = false, sent = false;
    for (;;) {
        // Repeats go out on the timer only (RFC 3261 section 17.1.2.2), not
        // on every message that wakes the wait.
        uint32_t sinceSend = m_Stack.clock.Since(lastSend);
        if (provisionalSeen && !answered && (!sent || sinceSend >= slice)) {
            SendRequest(cancel);
            sent = true;
            lastSend = m_Stack.clock.Tick();
            sinceSend = 0;
        }
        LPtr<LSipMessage> message = WaitMessage(sinceSend < slice ? slice - sinceSend : slice);
        if (message && cancel.IsResponseTo(*message))
            answered = true;
        else if (message && invite.IsResponseTo(*message)) {
            int status = message->GetResponseStatusCode();
            if (status >= 200) {
                SendAck(invite, *message, nullptr);
                return status;
            }
            if (!provisionalSeen) {
                provisionalSeen = true;
                limit = m_Stack.timing.cancelLimitProvisionalMs;
            }
        } else if (message && !DefaultMessageProcessing(*message))
            return 487;
        if (m_Stack.clock.Since(start) >= limit)
            return 408;
    }
}

void LSipCall::SendAck(const LSipRequest &invite, const LSipMessage &response, const char *sdp)
{
    LSipRequest ack;
    ack.CreateAckRequest(*this, invite, response, sdp);
    SendRequest(ack, response);
}

// The far end hung up while the INVITE was pending. RFC 3261 section 15.1.2:
// it still answers that INVITE itself (487), so nothing more is sent: a
// CANCEL or a repeat would only draw a 481 each. Its answer is waited for
// briefly and acknowledged, which ends the transaction on both sides.
void LSipCall::AbsorbFinalResponse(const LSipRequest &invite)
{
    uint32_t start = m_Stack.clock.Tick(), limit = m_Stack.timing.cancelLimitMs;
    for (uint32_t elapsed = 0; elapsed < limit; elapsed = m_Stack.clock.Since(start)) {
        LPtr<LSipMessage> message = WaitMessage(limit - elapsed);
        if (message && invite.IsResponseTo(*message) && message->GetResponseStatusCode() >= 200) {
            SendAck(invite, *message, nullptr);
            return;
        }
        if (message)
            DefaultMessageProcessing(*message);
    }
}

// A phone that hung up or cancelled its own request while it is passed on
// here must not wait for this side's answer: its BYE or CANCEL is answered
// at once (with 487 for the request), and this re-INVITE is cancelled like
// one that timed out. After a CANCEL the call goes on, so a 2xx crossing
// ours is acknowledged (by SendCancel) to end this side's transaction too.
int LSipCall::SendReInviteAndWaitForFinalResponse(LThread &thread, LSipRequest &request,
                                                  LPtr<LSipMessage> &response, const char *sdp,
                                                  LSipPassedOn *passedOn)
{
    struct Restore {
        LSipCall *leg;
        ~Restore()
        {
            if (leg)
                leg->RestoreAside();
        }
    } restore{passedOn ? &passedOn->leg : nullptr};
    request.CreateNewInviteRequest(*this, sdp, nullptr, 20, nullptr, false);
    uint32_t start = m_Stack.clock.Tick();
    bool provisional = false;
    // Repeats go out on the timer only (RFC 3261 section 17.1.1.2): a request
    // of the far end arriving meanwhile (a glare INVITE answered 491) must
    // not trigger one, or the far end sees a burst of copies.
    SendRequest(request);
    uint32_t lastSend = m_Stack.clock.Tick();
    for (;;) {
        bool stopped = false, ended = false;
        uint32_t slice = m_Stack.timing.reInviteSliceMs;
        uint32_t sinceSend = m_Stack.clock.Since(lastSend);
        uint32_t wait = provisional         ? m_Stack.timing.reInviteSliceProvisionalMs
                        : sinceSend < slice ? slice - sinceSend
                                            : 0;
        LPtr<LSipMessage> message = passedOn ? WaitMessage(thread, wait, stopped, *passedOn, ended)
                                             : WaitMessage(thread, wait, stopped);
        if (ended) {
            SendCancel(request, provisional);
            return 487;
        }
        if (message && request.IsResponseTo(*message)) {
            int status = message->GetResponseStatusCode();
            if (status < 200)
                provisional = true;
            else {
                if (status >= 300)
                    SendAck(request, *message, nullptr);
                // RFC 3261 section 12.2.1.2: the far end no longer knows the
                // dialog (its BYE crossed this INVITE), so no BYE is owed.
                if (status == 481)
                    m_DialogEstablished = false;
                bool challenge = status == 401 || status == 407;
                if (!challenge ||
                    !AuthenticateInvite(*message, request, sdp, nullptr, nullptr, false)) {
                    response.Assign(message);
                    return status;
                }
                provisional = false;
                SendRequest(request);
                lastSend = m_Stack.clock.Tick();
            }
        } else if (message && !DefaultMessageProcessing(*message)) {
            AbsorbFinalResponse(request);
            return 487;
        }
        uint32_t limit = provisional ? m_Stack.timing.reInviteLimitProvisionalMs
                                     : m_Stack.timing.reInviteLimitMs;
        if (stopped || m_Stack.clock.Since(start) >= limit) {
            SendCancel(request, provisional);
            return 408;
        }
        if (!provisional && m_Stack.clock.Since(lastSend) >= m_Stack.timing.reInviteSliceMs) {
            SendRequest(request);
            lastSend = m_Stack.clock.Tick();
        }
    }
}

LPtr<LSipMessage> LSipCall::WaitBackOff(LThread &thread, uint32_t ms, LSipPassedOn &passedOn,
                                        bool &stopped, bool &ended)
{
    LPtr<LSipMessage> message = WaitMessage(thread, ms, stopped, passedOn, ended);
    passedOn.leg.RestoreAside();
    return message;
}

int LSipCall::SendOptions(LThread &thread, LPtr<LSipMessage> &response)
{
    LSipRequest request;
    request.CreateOptionsRequest(*this);
    return SendRequestAndWaitForResponse(thread, request, response, m_Stack.timing.optionsLimitMs);
}

int LSipCall::SendInfo(LThread &thread, const LSipMessage &info, LPtr<LSipMessage> &response)
{
    LSipRequest request;
    if (info.GetContentCount() > 0)
        request.CreateInfoRequest(*this, info.GetContentAt(0).contentType,
                                  info.GetContentAt(0).body.c_str());
    else
        request.CreateInfoRequest(*this);
    return SendRequestAndWaitForResponse(thread, request, response, m_Stack.timing.optionsLimitMs);
}

int LSipCall::SendNotify(LThread &thread, int status, const char *reason)
{
    LSipRequest request;
    request.CreateNotifyReferRequest(*this, status, reason);
    LPtr<LSipMessage> response;
    return SendRequestAndWaitForResponse(thread, request, response, m_Stack.timing.optionsLimitMs);
}
