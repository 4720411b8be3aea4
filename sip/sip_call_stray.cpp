// Answers to stray in-dialog requests, activity polling, and the dialog as
// the graveyard drives it.
#include "platform/clock.h"
#include "sip/sip_call.h"
#include "sip/sip_engine.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace
{
bool IsMethod(const LSipMessage &message, const char *method)
{
    return strcmp(message.GetRequest(), method) == 0;
}
} // namespace

bool LSipCall::DefaultMessageProcessing(const LSipMessage &message)
{
    // A 2xx to a re-INVITE that was cancelled or given up still gets its ACK
    // (RFC 3261 section 13.2.2.4), or the far end repeats it for 32 s; the
    // call goes on with the media it had.
    if (!message.IsRequest()) {
        if (message.IsSuccessToInvite())
            AcknowledgeLate(message);
        return true;
    }
    if (IsMethod(message, "BYE")) {
        SendResponse(message, 200, "OK");
        m_DialogEstablished = false;
        return false;
    }
    if (IsMethod(message, "OPTIONS")) {
        std::string sdp;
        m_Stack.services.MakeDefaultSdp(message, sdp);
        SendResponseWithContact(message, 200, "OK", sdp.empty() ? nullptr : "application/sdp",
                                sdp.empty() ? nullptr : sdp.c_str());
    } else if (IsMethod(message, "ACK"))
        return true;
    else if (IsMethod(message, "NOTIFY") || IsMethod(message, "CANCEL") ||
             IsMethod(message, "INFO"))
        SendResponse(message, 200, "OK");
    else if (IsMethod(message, "INVITE") || IsMethod(message, "REFER"))
        // RFC 3261 section 14.2: one offer at a time; the far end retries.
        SendResponse(message, 491, "Request Pending");
    else
        SendResponse(message, 501, "Not Implemented");
    return true;
}

// INFO first (cheap for the far end), OPTIONS from the half-way mark for
// agents that refuse INFO; silence until the end means the dialog is gone.
bool LSipCall::PollActive(LThread &thread)
{
    if (IsActivityPollingDisabled())
        return true;
    const LSipDialogTiming &timing = m_Stack.timing;
    LSipRequest info;
    LSipRequest options;
    bool optionsBuilt = false;
    info.CreateInfoRequest(*this);
    SendRequest(info);
    uint32_t start = m_Stack.clock.Tick();
    uint32_t lastSend = start;
    for (;;) {
        uint32_t elapsed = m_Stack.clock.Since(start);
        if (elapsed >= timing.pollDeadMs)
            return false;
        uint32_t sinceSend = m_Stack.clock.Since(lastSend);
        uint32_t wait = sinceSend >= timing.pollResendMs ? 0 : timing.pollResendMs - sinceSend;
        wait = std::min(wait, timing.pollDeadMs - elapsed);
        bool stopped = false;
        LPtr<LSipMessage> message = WaitMessage(thread, wait, stopped);
        if (stopped)
            return false;
        if (message) {
            if (info.IsResponseTo(*message) || (optionsBuilt && options.IsResponseTo(*message))) {
                int status = message->GetResponseStatusCode();
                return status != 481 && status != 487;
            }
            return DefaultMessageProcessing(*message);
        }
        if (m_Stack.clock.Since(lastSend) < timing.pollResendMs)
            continue;
        if (m_Stack.clock.Since(start) >= timing.pollOptionsFromMs) {
            if (!optionsBuilt)
                options.CreateOptionsRequest(*this);
            optionsBuilt = true;
            SendRequest(options);
        } else
            SendRequest(info);
        lastSend = m_Stack.clock.Tick();
    }
}

void LSipCall::CreateBye()
{
    m_GraveBye.CreateByeRequest(*this);
}

void LSipCall::CreateCancel()
{
    m_GraveCancel.CreateCancelRequest(*this, m_GraveInvite);
}

void LSipCall::Send(Request request)
{
    SendRequest(request == Invite ? m_GraveInvite : request == Cancel ? m_GraveCancel : m_GraveBye);
}

bool LSipCall::IsResponseTo(const LSipMessage &response, Request request)
{
    const LSipRequest &sent = request == Invite   ? m_GraveInvite
                              : request == Cancel ? m_GraveCancel
                                                  : m_GraveBye;
    return sent.IsResponseTo(response);
}

// A 2xx that crossed our CANCEL opened a dialog: its ACK and the BYE that
// follows go inside it, with its tag, to its Contact along its Record-Route
// (RFC 3261 section 12.1.2); the INVITE's target may be a proxy or another
// phone. A 2xx from another branch after that one gets a dialog of its own.
void LSipCall::Acknowledge(const LSipMessage &response)
{
    if (!m_GraveInvite.IsResponseTo(response)) {
        AcknowledgeLate(response);
        return;
    }
    if (response.IsSuccessToInvite() && !m_DialogEstablished)
        ApplyDialogEstablishingResponse(response);
    else if (IsOtherForksAnswer(response)) {
        EndOtherFork(response);
        return;
    }
    SendAck(m_GraveInvite, response, nullptr);
}

// A second branch's answer gets a dialog of its own, also once the call has
// ended and this leg is in the graveyard.
void LSipCall::AcknowledgeLate(const LSipMessage &response)
{
    if (IsOtherForksAnswer(response)) {
        EndOtherFork(response);
        return;
    }
    LSipRequest ack;
    ack.CreateAckRequest(*this, response);
    SendRequest(ack, response);
}

void LSipCall::AuthenticateBye(const LSipMessage &challenge)
{
    if (m_GraveBye.SetAuthentication(*this, challenge))
        m_GraveBye.RebuildBye(*this);
}

void LSipCall::Respond(const LSipMessage &request, int status, const char *reason)
{
    SendResponse(request, status, reason);
}

void LSipAddCallToGraveyard(LPtr<LSipCall> &call)
{
    if (!call)
        return;
    LSipGraveyard &graveyard = call->GetStack().graveyard;
    LPtr<LSipGraveyardLeg> leg(call.Detach());
    graveyard.AddCall(leg);
}

void LSipAddCallToGraveyard(LPtr<LSipCall> &call, const LSipRequest &invite, bool cancelNow)
{
    if (!call)
        return;
    call->SetOutstandingInvite(invite);
    LSipGraveyard &graveyard = call->GetStack().graveyard;
    LPtr<LSipGraveyardLeg> leg(call.Detach());
    graveyard.AddCall(leg, cancelNow);
}
