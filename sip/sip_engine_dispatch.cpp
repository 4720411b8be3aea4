// Receiving, dispatch and sending of the SIP engine: every message goes to
// its first taker, and stray requests get fixed answers.
#include "sip/sip_engine.h"

#include "sip/siplayouts.h"

#include <algorithm>
#include <cstring>

namespace
{
bool IsMethod(const LSipMessage &message, const char *method)
{
    return strcmp(message.GetRequest(), method) == 0;
}

// The Call-ID part of a "Replaces" value (RFC 3891): after leading white
// space, up to a blank or the first parameter.
void ReplacesCallId(const char *replaces, char *out, size_t capacity)
{
    const char *start = LSipSkipWhite(replaces);
    size_t length = strcspn(start, " ;");
    LSipCopyText(out, capacity, start, length);
}
} // namespace

void LSipEngine::ReceivePacket(const char *bytes, size_t length, const LIPAddressWithPort &from)
{
    LStopGate::Pass pass = m_SocketGate.Enter();
    if (!pass)
        return;
    LPtr<LSipMessage> message(new LSipMessage());
    size_t position = 0;
    if (!message->LoadPacket(bytes, length, position))
        return;
    message->SetSource(from.GetSockAddrIn());
    HandleNewMessage(message);
}

const std::vector<LSipDialogTaker *> *LSipEngine::FindCalls(const char *callId) const
{
    auto found = m_Calls.find(std::string_view(callId));
    return found == m_Calls.end() ? nullptr : &found->second;
}

bool LSipEngine::OfferToCalls(LPtr<LSipMessage> &message)
{
    LLockScope hold(m_CallListLock);
    const std::vector<LSipDialogTaker *> *calls =
        FindCalls(message->FindField(LSipFields::CallID, ""));
    if (!calls)
        return false;
    for (LSipDialogTaker *call : *calls)
        if (call->HandleNewMessage(message))
            return true;
    return false;
}

void LSipEngine::HandleNewMessage(LPtr<LSipMessage> &message)
{
    if (!message || OfferToCalls(message))
        return;
    if (HandleAnsweredMessage(*message))
        return;
    if (message->IsRequest()) {
        DispatchRequest(message);
        return;
    }
    if (m_Lines.HandleResponse(*message))
        return;
    if (LSipSubscribeHandler *proxy = m_SubscribeHandler.load())
        proxy->HandleResponse(message);
}

bool LSipEngine::OfferReplaces(LPtr<LSipMessage> &message, const char *replaces)
{
    char callId[kSipLongText];
    ReplacesCallId(replaces, callId, sizeof(callId));
    LLockScope hold(m_CallListLock);
    const std::vector<LSipDialogTaker *> *calls = FindCalls(callId);
    if (!calls)
        return false;
    for (LSipDialogTaker *call : *calls)
        if (call->HandleInviteReplaces(message, callId))
            return true;
    return false;
}

// Methods compare exactly (RFC 3261 section 7.1: methods are case-sensitive).
// Without a registered handler a request is refused as not implemented.
void LSipEngine::DispatchRequest(LPtr<LSipMessage> &message)
{
    const LSipMessage &request = *message;
    LSipNewMessageHandler *handler = m_NewHandler.load();
    LSipSubscribeHandler *proxy = m_SubscribeHandler.load();
    if (IsMethod(request, "INVITE")) {
        const char *replaces = request.FindField(LSipFields::Replaces, "");
        if (replaces[0]) {
            if (!OfferReplaces(message, replaces) && message)
                SendResponse(*message, 481, "Call/Transaction Does Not Exist");
        } else if (handler)
            handler->HandleNewInvite(message);
        else
            SendResponse(request, 501, "Not Implemented");
    } else if (IsMethod(request, "OPTIONS") && handler)
        handler->HandleNewOptions(message);
    else if (IsMethod(request, "REGISTER") && handler)
        handler->HandleNewRegister(message);
    else if (IsMethod(request, "SUBSCRIBE") && proxy)
        proxy->HandleSubscribe(message);
    else if (IsMethod(request, "NOTIFY") && proxy)
        proxy->HandleNotify(message);
    else if (IsMethod(request, "ACK"))
        return;
    else if (IsMethod(request, "BYE") || IsMethod(request, "CANCEL"))
        SendResponse(request, 200, "OK");
    else if (IsMethod(request, "REFER") || IsMethod(request, "INFO"))
        SendResponse(request, 481, "Call/Transaction Does Not Exist");
    else
        SendResponse(request, 501, "Not Implemented");
}

// Call threads and the graveyard send while the receive thread may close or
// rebind the socket: the pass keeps the descriptor valid for the send.
void LSipEngine::SendPacketUDP(const LIPAddressWithPort &to, const std::string &text)
{
    LStopGate::Pass pass = m_SocketGate.Enter();
    if (!pass)
        return;
    m_Socket.SendTo(to, text.data(), text.size());
    if (m_Settings.trace)
        m_Settings.trace(true, to, text.data(), text.size());
}

void LSipEngine::SendResponse(const LSipMessage &request, int status, const char *reason,
                              const char *toTag, const char *contact, const char *contentType,
                              const char *content, bool allow, const char *extraHeaders)
{
    std::string text;
    LSipComposeResponse(text, request, status, reason, toTag, contact, contentType, content, allow,
                        extraHeaders);
    LIPAddressWithPort to(request.GetSource());
    SendPacketUDP(to, text);
    AddAnsweredMessage(request, to, std::move(text));
}

void LSipEngine::AddAnsweredMessage(const LSipMessage &answered, const LIPAddressWithPort &address,
                                    std::string text)
{
    m_Answered.Add(answered, address, std::move(text));
}

bool LSipEngine::HandleAnsweredMessage(const LSipMessage &message)
{
    return m_Answered.Handle(message, *this);
}

// The flag is cleared before the signal is reset and set after it is
// signalled: a dialog that sees it set finds the signal set too.
void LSipEngine::SetReady(bool ready)
{
    if (ready) {
        m_Ready.Signal();
        m_ReadyUp.store(true, std::memory_order_release);
    } else {
        m_ReadyUp.store(false, std::memory_order_release);
        m_Ready.Reset();
    }
}

void LSipEngine::RegisterCall(LSipDialogTaker *call)
{
    if (IsRunning() && !m_ReadyUp.load(std::memory_order_acquire))
        m_Ready.WaitSignal(kSipReadyWaitMs);
    LLockScope hold(m_CallListLock);
    std::vector<LSipDialogTaker *> &calls = m_Calls[call->GetDialogCallID()];
    calls.insert(calls.begin(), call);
}

void LSipEngine::UnregisterCall(const LSipDialogTaker *call)
{
    LLockScope hold(m_CallListLock);
    auto found = m_Calls.find(std::string_view(call->GetDialogCallID()));
    if (found == m_Calls.end())
        return;
    std::vector<LSipDialogTaker *> &calls = found->second;
    calls.erase(std::remove(calls.begin(), calls.end(), call), calls.end());
    if (calls.empty())
        m_Calls.erase(found);
}

void LSipEngine::CreateNewBranchID(char *out, size_t capacity)
{
    m_Identifiers.CreateNewBranchID(out, capacity);
}

void LSipEngine::CreateNewLocalTag(char *out, size_t capacity)
{
    m_Identifiers.CreateNewLocalTag(out, capacity);
}

void LSipEngine::CreateNewCallId(char *out, size_t capacity)
{
    char publicIP[kSipLongText];
    GetPublicIP(publicIP, sizeof(publicIP));
    m_Identifiers.CreateNewCallId(out, capacity, publicIP);
}
