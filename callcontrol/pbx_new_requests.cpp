#include "callcontrol/pbx_new_requests.h"

#include "callcontrol/new_invite.h"
#include "callcontrol/registrar.h"
#include "sip/sip_engine.h"

void LPBXNewMessageHandler::HandleNewOptions(LPtr<LSipMessage> &message)
{
    m_Context.sip.engine.SendResponse(*message, 501, "Not Implemented");
}

void LPBXNewMessageHandler::HandleNewInvite(LPtr<LSipMessage> &message)
{
    LEngineResponder responder(m_Context);
    LPBXHandleInvite(*message, m_Guards, responder, m_Context.sip.clock.UnixTime());
}

void LPBXNewMessageHandler::HandleNewRegister(LPtr<LSipMessage> &message)
{
    LEngineResponder responder(m_Context);
    LPBXHandleRegister(*message, m_Guards, responder, m_Contacts, m_Context.sip.clock.UnixTime());
}

void LPBXNewMessageHandler::LogAddress()
{
    LPBXRefreshContactExpiries(m_Contacts, m_Context.sip.clock.UnixTime());
}
