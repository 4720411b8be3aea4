// Reading the dialog's queue and sending its messages through the engine.
#include "platform/clock.h"
#include "sip/sip_call.h"
#include "sip/sip_engine.h"
#include "sip/siplayouts.h"

#include <cstdlib>
#include <cstring>

namespace
{
bool IsMethod(const LSipMessage &message, const char *method)
{
    return message.IsRequest() && strcmp(message.GetRequest(), method) == 0;
}

bool SameSequence(const LSipMessage &a, const LSipMessage &b)
{
    return strtoul(a.FindField(LSipFields::CSeq, ""), nullptr, 10) ==
           strtoul(b.FindField(LSipFields::CSeq, ""), nullptr, 10);
}
} // namespace

// A repeat of the INVITE that opened the dialog was answered already (or is
// answered by the cache); one with another Via is the same request coming
// back over a second path (RFC 3261 section 8.2.2.2). An INVITE with
// "Replaces" has a Call-ID of its own, whatever its CSeq.
bool LSipCall::IsInitialInviteRepeat(const LSipMessage &message)
{
    if (!message.IsRequest() || strcmp(message.GetRequest(), "INVITE") != 0 || !m_InitialCSeq[0] ||
        strcmp(message.FindField(LSipFields::CSeq, ""), m_InitialCSeq) != 0 ||
        strcmp(message.FindField(LSipFields::CallID, ""), m_CallID) != 0)
        return false;
    if (strcmp(message.FindField(LSipFields::Via, ""), m_InitialVia) != 0)
        SendResponse(message, 482, "Loop Detected");
    return true;
}

LPtr<LSipMessage> LSipCall::GetNextMessage()
{
    for (;;) {
        LPtr<LSipMessage> message;
        {
            LLockScope hold(m_QueueLock);
            message.Reset(m_Queue.DetachFirst());
            // A write still on its way keeps the mark: the wake it brings
            // finds the queue empty and clears both then.
            if (m_Queue.IsEmpty() && m_Signalled && Reset())
                m_Signalled = false;
        }
        if (!message)
            return message;
        if (m_Stack.engine.HandleAnsweredMessage(*message) || IsInitialInviteRepeat(*message))
            continue;
        return message;
    }
}

LPtr<LSipMessage> LSipCall::WaitMessage(uint32_t ms)
{
    uint32_t start = m_Stack.clock.Tick();
    for (;;) {
        if (LPtr<LSipMessage> message = GetNextMessage())
            return message;
        uint32_t elapsed = m_Stack.clock.Since(start);
        if (elapsed >= ms ||
            m_Stack.clock.WaitSignal(nullptr, *this, ms - elapsed) != LProcessSuccess)
            return LPtr<LSipMessage>();
    }
}

LPtr<LSipMessage> LSipCall::WaitMessage(LThread &thread, uint32_t ms, bool &stopped)
{
    uint32_t start = m_Stack.clock.Tick();
    stopped = false;
    for (;;) {
        if (LPtr<LSipMessage> message = GetNextMessage())
            return message;
        uint32_t elapsed = m_Stack.clock.Since(start);
        if (elapsed >= ms)
            return LPtr<LSipMessage>();
        LProcessResult result = m_Stack.clock.WaitSignal(&thread, *this, ms - elapsed);
        if (result == LProcessStopped) {
            stopped = true;
            return LPtr<LSipMessage>();
        }
        if (result != LProcessSuccess)
            return LPtr<LSipMessage>();
    }
}

// Both queues are watched; setting the other's messages aside empties its
// queue and so resets its signal, and the wait does not spin on them.
LPtr<LSipMessage> LSipCall::WaitMessage(LThread &thread, uint32_t ms, bool &stopped,
                                        LSipPassedOn &passedOn, bool &ended)
{
    uint32_t start = m_Stack.clock.Tick();
    stopped = ended = false;
    LSignalObjectGroup group;
    group.Add(*this);
    group.Add(passedOn.leg);
    for (;;) {
        if (LPtr<LSipMessage> message = GetNextMessage())
            return message;
        LPtr<LSipMessage> end = passedOn.leg.SetAsideUntilEnd(passedOn.request);
        if (end) {
            passedOn.leg.EndPassedOn(passedOn, *end);
            ended = true;
            return LPtr<LSipMessage>();
        }
        uint32_t elapsed = m_Stack.clock.Since(start);
        if (elapsed >= ms)
            return LPtr<LSipMessage>();
        LProcessResult result = m_Stack.clock.WaitGroup(thread, group, ms - elapsed);
        if (result == LProcessStopped) {
            stopped = true;
            return LPtr<LSipMessage>();
        }
        if (result != LProcessSuccess)
            return LPtr<LSipMessage>();
    }
}

// RFC 3261 section 9.2: the CANCEL of a request that is still pending gets
// 200 and the request 487 at once; so does a BYE (section 15.1.2).
void LSipCall::EndPassedOn(LSipPassedOn &passedOn, const LSipMessage &end)
{
    if (IsMethod(end, "CANCEL")) {
        SendResponse(end, 200, "OK");
        passedOn.cancelled = true;
    } else
        DefaultMessageProcessing(end);
    if (passedOn.request)
        SendResponse(*passedOn.request, 487, "Request Terminated");
}

// A CANCEL names the request it cancels by its CSeq number (RFC 3261
// section 9.1); one for an earlier request is left to the default answer.
// Messages are taken as the owner takes them, so a repeat of the request
// being passed on is answered now from the cache with its 100 Trying (RFC
// 3261 section 17.2.1), not held until the other side answers.
LPtr<LSipMessage> LSipCall::SetAsideUntilEnd(const LSipMessage *pending)
{
    while (LPtr<LSipMessage> message = GetNextMessage()) {
        if (IsMethod(*message, "BYE") ||
            (pending && IsMethod(*message, "CANCEL") && SameSequence(*message, *pending)))
            return message;
        LLockScope hold(m_QueueLock);
        m_Aside.AddBottom(message.Detach());
    }
    return LPtr<LSipMessage>();
}

void LSipCall::RestoreAside()
{
    LLockScope hold(m_QueueLock);
    m_Queue.TakeAll(m_Aside);
    if (!m_Queue.IsEmpty() && !m_Signalled) {
        Signal();
        m_Signalled = true;
    }
}

void LSipCall::SendRequest(const LSipRequest &request)
{
    if (request.HasDestination())
        m_Stack.engine.SendPacketUDP(request.GetDestination(), request.GetText());
}

void LSipCall::SendRequest(const LSipRequest &request, const LSipMessage &response)
{
    SendRequest(request);
    if (request.HasDestination())
        m_Stack.engine.AddAnsweredMessage(response, request.GetDestination(), request.GetText());
}

void LSipCall::SendResponse(const LSipMessage &request, int status, const char *reason,
                            const char *contentType, const char *content)
{
    m_Stack.engine.SendResponse(request, status, reason, m_LocalTag, nullptr, contentType, content);
}

void LSipCall::MakeContact(const LIPAddressWithPort &peer, std::string &out)
{
    char ip[kSipLongText];
    int port;
    if (peer.IsPrivate()) {
        m_Stack.engine.GetPrivateIP(ip, sizeof(ip));
        port = m_Stack.engine.GetPrivateSipPort();
    } else {
        m_Stack.engine.GetPublicIP(ip, sizeof(ip));
        port = m_Stack.engine.GetPublicSipPort();
    }
    LSipAppendF(out, "<sip:%s@%s:%d>", m_LocalUserID, ip, port);
}

void LSipCall::SendResponseWithContact(const LSipMessage &request, int status, const char *reason,
                                       const char *contentType, const char *content)
{
    std::string contact;
    MakeContact(request.GetSource(), contact);
    m_Stack.engine.SendResponse(request, status, reason, m_LocalTag, contact.c_str(), contentType,
                                content, true);
}
