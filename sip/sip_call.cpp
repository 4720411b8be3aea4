// Construction of a dialog, the intake of its messages from the engine and
// the dialog data learnt from messages (route set, remote target, tags).
#include "sip/sip_call.h"

#include "platform/clock.h"
#include "sip/commalist.h"
#include "sip/sip_engine.h"
#include "sip/sipnameaddr.h"
#include "sip/sipuri.h"

#include <cstring>
#include <string>

namespace
{
// Room left for ";tag=" and a tag in a 260-character name-address.
constexpr size_t kNameAddrCut = 228;

// The "tag" parameter of a name-address field; null when it has none.
const char *TagOf(const LSipNameAddr &nameAddress)
{
    return nameAddress.GetHeaderField("tag", nullptr);
}
} // namespace

void LSipReadReplacesTags(const char *replaces, LHashTable &parameters)
{
    const char *next = strchr(replaces, ';');
    while (next) {
        const char *start = LSipSkipWhite(next + 1);
        next = strchr(start, ';');
        size_t length = next ? (size_t)(next - start) : strlen(start);
        const char *equals = (const char *)memchr(start, '=', length);
        if (!equals)
            continue;
        char name[kSipShortText];
        char value[kSipLongText];
        LSipCopy(name, start, LSipTrimmedLength(start, (size_t)(equals - start)));
        for (char *c = name; *c; c++)
            *c = LSipLower(*c);
        const char *text = LSipSkipWhite(equals + 1);
        LSipCopy(value, text, LSipTrimmedLength(text, length - (size_t)(text - start)));
        parameters.SetParm(name, value);
    }
}

void LSipCall::SetLocalToFrom(const char *nameAddress)
{
    char cut[kNameAddrCut + 1];
    LSipCopy(cut, nameAddress);
    LSipCopy(m_LocalToFrom, (std::string(cut) + ";tag=" + m_LocalTag).c_str());
}

LSipCall::LSipCall(const LSipStack &stack, const char *remote, const char *local,
                   const char *outboundProxy, const char *userID, const char *authID,
                   const char *password)
    : LSignalObject(stack.signals), m_Stack(stack)
{
    m_Stack.engine.CreateNewCallId(m_CallID, sizeof(m_CallID));
    m_Stack.engine.CreateNewLocalTag(m_LocalTag, sizeof(m_LocalTag));
    m_LocalSequence = m_Stack.clock.Tick() % 1000;
    LSipCopy(m_LocalUserID, userID ? userID : "");
    LSipCopy(m_LocalAuthID, authID ? authID : "");
    LSipCopy(m_LocalPassword, password ? password : "");
    // "<sip:user@>" leaves the host to us: the address others should use.
    std::string localText(local ? local : "");
    size_t length = localText.size();
    if (length >= 2 && localText[length - 2] == '@') {
        char publicIP[kSipLongText];
        m_Stack.engine.GetPublicIP(publicIP, sizeof(publicIP));
        localText.resize(length - 1);
        LSipAppendF(localText, "%s:%d>", publicIP, m_Stack.engine.GetPublicSipPort());
    }
    SetLocalToFrom(localText.c_str());
    LSipCopy(m_RemoteToFrom, remote ? remote : "");
    LSipCopy(m_RemoteTargetURI, LSipNameAddr(m_RemoteToFrom).GetSipURI());
    if (outboundProxy && outboundProxy[0])
        LSipCopy(m_RouteSet, (std::string("<sip:") + outboundProxy + ";lr>").c_str());
    m_RouteSetDefault = true;
    m_Stack.engine.RegisterCall(this);
}

LSipCall::LSipCall(const LSipStack &stack, const LSipMessage &invite, const char *userID,
                   const char *authID, const char *password)
    : LSignalObject(stack.signals), m_Stack(stack)
{
    LSipCopy(m_CallID, invite.FindField(LSipFields::CallID, ""));
    LSipCopy(m_InitialCSeq, invite.FindField(LSipFields::CSeq, ""));
    LSipCopy(m_InitialVia, invite.FindField(LSipFields::Via, ""));
    m_Stack.engine.CreateNewLocalTag(m_LocalTag, sizeof(m_LocalTag));
    m_LocalSequence = m_Stack.clock.Tick() % 1000;
    LSipCopy(m_LocalUserID, userID ? userID : "");
    LSipCopy(m_LocalAuthID, authID ? authID : "");
    LSipCopy(m_LocalPassword, password ? password : "");
    const char *to = invite.FindField(LSipFields::To, "");
    if (strstr(to, ";tag="))
        LSipCopy(m_LocalToFrom, to);
    else
        SetLocalToFrom(to);
    LSipCopy(m_RemoteToFrom, invite.FindField(LSipFields::From, ""));
    // A peer that sends no Contact can still be reached at its From address.
    LSipCopy(m_RemoteTargetURI, LSipNameAddr(m_RemoteToFrom).GetSipURI());
    ApplyRouteSetFromRequest(invite);
    SetRemoteTargetURI(invite);
    ApplyUserAgentTests(invite);
    m_Stack.engine.RegisterCall(this);
}

LSipCall::LSipCall(const LSipCall &other, const char *remoteTarget)
    : LSignalObject(other.m_Stack.signals), m_Stack(other.m_Stack)
{
    m_Stack.engine.CreateNewCallId(m_CallID, sizeof(m_CallID));
    m_Stack.engine.CreateNewLocalTag(m_LocalTag, sizeof(m_LocalTag));
    m_LocalSequence = m_Stack.clock.Tick() % 1000;
    LSipCopy(m_LocalUserID, other.m_LocalUserID);
    LSipCopy(m_LocalAuthID, other.m_LocalAuthID);
    LSipCopy(m_LocalPassword, other.m_LocalPassword);
    std::string local;
    LSipNameAddr(other.m_LocalToFrom).ReconstructWithoutHeaders(local);
    SetLocalToFrom(local.c_str());
    LSipCopy(m_RemoteToFrom, other.m_RemoteToFrom);
    LSipCopy(m_RouteSet, other.m_RouteSet);
    m_RouteSetDefault = other.m_RouteSetDefault;
    m_RemoteSpecialFlags = other.m_RemoteSpecialFlags;
    m_CallerAuthenticated = other.m_CallerAuthenticated;
    LSipCopy(m_RemoteTargetURI, remoteTarget ? remoteTarget : "");
    m_Stack.engine.RegisterCall(this);
}

LSipCall::~LSipCall()
{
    m_Stack.engine.UnregisterCall(this);
    LLockScope hold(m_QueueLock);
    m_Queue.DeleteAll();
}

// From now on nobody waits on the leg's signal: its descriptor serves the
// next call's legs instead of staying open for the leg's time in the
// graveyard. Under the queue lock, so no new write of the signal begins; one
// still on its way releases the descriptor itself when done.
bool LSipCall::WatchQueue(LSipGraveyard *graveyard)
{
    LLockScope hold(m_QueueLock);
    m_Graveyard.store(graveyard);
    if (m_SignalWrites.fetch_or(kReleaseDue) == 0)
        Release();
    m_Signalled = false;
    return !m_Queue.IsEmpty();
}

// A leg in the graveyard is served through the graveyard's own wake-up;
// nobody waits on the leg's signal any more. The watch is read after the
// message is in: a leg handed over later is drained by the graveyard's
// first pass over it. The signal is written after the queue lock is let
// go: the call thread it wakes often runs at once, on this processor, and
// its first step is to take that lock.
void LSipCall::Queue(LPtr<LSipMessage> &message)
{
    LSipGraveyard *graveyard = nullptr;
    bool canWait = LSipGraveyard::CanWaitForTimer(*message);
    bool wake = false;
    {
        LLockScope hold(m_QueueLock);
        m_Queue.AddBottom(message.Detach());
        graveyard = m_Graveyard.load();
        if (!m_Signalled && !graveyard) {
            wake = m_Signalled = true;
            m_SignalWrites.fetch_add(1);
        }
    }
    if (wake) {
        Signal();
        if (m_SignalWrites.fetch_sub(1) == (kReleaseDue | 1))
            Release();
    }
    if (graveyard)
        graveyard->NoteMessage(this, canWait);
}

bool LSipCall::HandleNewMessage(LPtr<LSipMessage> &message)
{
    if (strcmp(message->FindField(LSipFields::CallID, ""), m_CallID) != 0)
        return false;
    const char *field =
        message->FindField(message->IsRequest() ? LSipFields::To : LSipFields::From, "");
    LSipNameAddr nameAddress(field);
    const char *tag = TagOf(nameAddress);
    if (tag && strcmp(tag, m_LocalTag) != 0)
        return false;
    // A request without a To tag only repeats or cancels the INVITE that
    // opened this dialog, so it comes from the same From tag; with another
    // one it opens a dialog of its own (RFC 3261 section 12.2.2).
    if (message->IsRequest() && !tag && !IsFromRemoteTag(*message))
        return false;
    if (!IsOfThisDialog(*message))
        return false;
    Queue(message);
    return true;
}

// RFC 3261 section 12: the remote tag names the dialog too. A forked INVITE
// answered twice makes two dialogs with one Call-ID and local tag; the
// other one's messages (its BYE after its 2xx went unacknowledged, say)
// must not end this call.
bool LSipCall::IsOfThisDialog(const LSipMessage &message)
{
    char dialogTag[kSipLongText];
    {
        LLockScope hold(m_QueueLock);
        if (!m_DialogTag[0])
            return true;
        LSipCopy(dialogTag, m_DialogTag);
    }
    LSipNameAddr party(
        message.FindField(message.IsRequest() ? LSipFields::From : LSipFields::To, ""));
    const char *tag = TagOf(party);
    return !tag || strcmp(tag, dialogTag) == 0 || (!m_OtherFork && message.IsResponseToInvite());
}

// Owner side, from the remote name-address an answer set.
void LSipCall::SetDialogTag()
{
    LSipNameAddr remote(m_RemoteToFrom);
    const char *tag = TagOf(remote);
    LLockScope hold(m_QueueLock);
    LSipCopy(m_DialogTag, tag ? tag : "");
}

// Receive thread. The owner of an outgoing leg rewrites the remote
// name-address when the call is answered, under the queue lock.
bool LSipCall::CopyRemoteTag(char (&out)[kSipLongText]) const
{
    LLockScope hold(m_QueueLock);
    LSipNameAddr remote(m_RemoteToFrom);
    const char *tag = TagOf(remote);
    LSipCopy(out, tag ? tag : "");
    return tag != nullptr;
}

bool LSipCall::IsFromRemoteTag(const LSipMessage &request) const
{
    LSipNameAddr from(request.FindField(LSipFields::From, ""));
    const char *tag = TagOf(from);
    char remoteTag[kSipLongText];
    if (!CopyRemoteTag(remoteTag) || !tag)
        return !tag && !remoteTag[0];
    return strcmp(tag, remoteTag) == 0;
}

bool LSipCall::RemoteTagIs(const char *tag) const
{
    char remote[kSipLongText];
    return CopyRemoteTag(remote) && tag && strcmp(remote, tag) == 0;
}

// RFC 3891 section 3: Call-ID, to-tag and from-tag of "Replaces" must match
// the Call-ID, local tag and remote tag of the dialog. Without the tags
// anyone who learnt a Call-ID could take over a call.
bool LSipCall::HandleInviteReplaces(LPtr<LSipMessage> &message, const char *callId)
{
    if (strcmp(callId, m_CallID) != 0)
        return false;
    LHashTable parameters;
    LSipReadReplacesTags(message->FindField(LSipFields::Replaces, ""), parameters);
    const char *toTag = parameters.GetParm("to-tag", nullptr);
    if (!toTag || strcmp(toTag, m_LocalTag) != 0 ||
        !RemoteTagIs(parameters.GetParm("from-tag", nullptr)))
        return false;
    Queue(message);
    return true;
}

bool LSipCall::IsDestinationPublic() const
{
    LSipURI uri(m_RemoteTargetURI);
    LIPAddressWithPort address;
    return address.SetFromText(uri.GetHost(), uri.GetPort()) && address.IsPublic();
}

void LSipCall::ApplyRouteSetFromRequest(const LSipMessage &request)
{
    std::string routes;
    for (size_t i = 0; i < request.GetFieldCount(); i++) {
        const LSipMessage::LHeaderField &field = request.GetFieldAt(i);
        if (!field.IsField(LSipFields::RecordRoute))
            continue;
        if (!routes.empty())
            routes += ',';
        routes += field.GetFieldData();
    }
    LSipCopy(m_RouteSet, routes.c_str());
    m_RouteSetDefault = false;
}

// RFC 3261 section 12.1.2: the caller's route set is the Record-Route list
// in reverse order.
void LSipCall::ApplyRouteSetFromResponse(const LSipMessage &response)
{
    std::string routes;
    for (size_t i = 0; i < response.GetFieldCount(); i++) {
        const LSipMessage::LHeaderField &field = response.GetFieldAt(i);
        if (!field.IsField(LSipFields::RecordRoute))
            continue;
        LCommaSeparatedListIteratorTemplate<char> entries(field.GetFieldData());
        while (entries.Next())
            routes = routes.empty() ? std::string(entries.GetItem())
                                    : std::string(entries.GetItem()) + "," + routes;
    }
    LSipCopy(m_RouteSet, routes.c_str());
    m_RouteSetDefault = false;
}

void LSipCall::SetRemoteTargetURI(const LSipMessage &message)
{
    const char *contact = message.FindField(LSipFields::Contact, nullptr);
    if (!contact)
        return;
    LSipCopy(m_RemoteTargetURI, LSipNameAddr(contact).GetSipURI());
    if (!m_RouteSet[0])
        m_Stack.services.MapContact(m_RemoteTargetURI, sizeof(m_RemoteTargetURI),
                                    message.GetSource());
}

void LSipCall::ApplyRemoteToFromResponse(const LSipMessage &response)
{
    if (const char *to = response.FindField(LSipFields::To, nullptr)) {
        LLockScope hold(m_QueueLock); // see CopyRemoteTag
        LSipCopy(m_RemoteToFrom, to);
    }
    if (const char *from = response.FindField(LSipFields::From, nullptr))
        LSipCopy(m_LocalToFrom, from);
}

// Some phones misbehave on our keep-alive INFO or on an INVITE without SDP.
void LSipCall::ApplyUserAgentTests(const LSipMessage &message)
{
    const char *agent = message.FindField(LSipFields::UserAgent, "");
    if (strstr(agent, "Gigaset"))
        DisableActivityPolling();
    if (strstr(agent, "Cisco-SIPGateway"))
        DisableEmptyInvite();
}

void LSipCall::ApplyDialogEstablishingResponse(const LSipMessage &response)
{
    ApplyRouteSetFromResponse(response);
    SetRemoteTargetURI(response);
    ApplyRemoteToFromResponse(response);
    ApplyUserAgentTests(response);
    SetDialogTag();
    m_DialogEstablished = true;
}
