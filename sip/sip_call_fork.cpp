// A forked INVITE answered twice: the second answer opened a dialog of its
// own, which is acknowledged and ended there (RFC 3261 section 13.2.2.4)
// while the call goes on with the first.
#include "platform/log.h"
#include "sip/sip_call.h"
#include "sip/sip_engine.h"
#include "sip/sipnameaddr.h"

#include <cstring>

LSipCall::LSipCall(const LSipCall &invited, const LSipMessage &answer)
    : LSignalObject(invited.m_Stack.signals), m_Stack(invited.m_Stack)
{
    LSipCopy(m_CallID, invited.m_CallID);
    LSipCopy(m_LocalTag, invited.m_LocalTag);
    m_LocalSequence = invited.m_LocalSequence;
    LSipCopy(m_LocalUserID, invited.m_LocalUserID);
    LSipCopy(m_LocalAuthID, invited.m_LocalAuthID);
    LSipCopy(m_LocalPassword, invited.m_LocalPassword);
    LSipCopy(m_LocalToFrom, invited.m_LocalToFrom);
    LSipCopy(m_RemoteToFrom, invited.m_RemoteToFrom);
    LSipCopy(m_RouteSet, invited.m_RouteSet);
    m_RouteSetDefault = invited.m_RouteSetDefault;
    m_RemoteSpecialFlags = invited.m_RemoteSpecialFlags;
    m_OtherFork = true;
    // Before it is registered: from then on the receive thread offers it
    // messages, and it must know its tag by then.
    ApplyDialogEstablishingResponse(answer);
    m_Stack.engine.RegisterCall(this);
}

// Owner side. The first answer set the dialog's tag; a 2xx with another
// tag comes from another branch of a forking proxy.
bool LSipCall::IsOtherForksAnswer(const LSipMessage &response)
{
    if (m_OtherFork || !m_DialogEstablished || !response.IsSuccessToInvite() ||
        m_OtherForks >= kMaxOtherForks)
        return false;
    LSipNameAddr to(response.FindField(LSipFields::To, ""));
    const char *tag = to.GetHeaderField("tag", nullptr);
    LLockScope hold(m_QueueLock);
    return m_DialogTag[0] && tag && strcmp(tag, m_DialogTag) != 0;
}

// Its ACK and BYE go inside its own dialog, and its repeats and its answer
// to the BYE reach that dialog in the graveyard, not this call.
void LSipCall::EndOtherFork(const LSipMessage &answer)
{
    LOGF("Call %s: a second branch answered; it is acknowledged and ended", m_CallID);
    m_OtherForks++;
    LPtr<LSipCall> fork(new LSipCall(*this, answer));
    fork->AcknowledgeLate(answer);
    LSipAddCallToGraveyard(fork);
}
