#include "callcontrol/pbx_new_requests.h"

#include "callcontrol/new_invite.h"
#include "callcontrol/registrar.h"
#include "platform/tick.h"
#include "sip/sip_engine.h"

LPBXNewMessageHandler gPBXNewMessageHandler;

void LPBXNewMessageHandler::HandleNewOptions(LPtr<LSipMessage> &message)
{
    gSipEngine.SendResponse(*message, 501, "Not Implemented");
}

void LPBXNewMessageHandler::HandleNewInvite(LPtr<LSipMessage> &message)
{
    LEngineResponder responder;
    LPBXHandleInvite(*message, m_Guards, responder, GetUnixTime());
}

void LPBXNewMessageHandler::HandleNewRegister(LPtr<LSipMessage> &message)
{
    LEngineResponder responder;
    LPBXHandleRegister(*message, m_Guards, responder, GetUnixTime());
}

void LPBXNewMessageHandler::LogAddress()
{
    LPBXRefreshContactExpiries(GetUnixTime());
}
