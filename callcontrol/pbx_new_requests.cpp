#include "callcontrol/pbx_new_requests.h"

#include "sip/sip_engine.h"

LPBXNewMessageHandler gPBXNewMessageHandler;

void LPBXNewMessageHandler::HandleNewOptions(LPtr<LSipMessage> &message)
{
    gSipEngine.SendResponse(*message, 501, "Not Implemented");
}

void LPBXNewMessageHandler::HandleNewInvite(LPtr<LSipMessage> &message)
{
    gSipEngine.SendResponse(*message, 404, "Not Found");
}

void LPBXNewMessageHandler::HandleNewRegister(LPtr<LSipMessage> &message)
{
    gSipEngine.SendResponse(*message, 404, "Not Found");
}
