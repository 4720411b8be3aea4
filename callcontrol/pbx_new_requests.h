// Call control's answers to new requests outside any dialog, registered with
// the SIP engine when it starts. OPTIONS is never served; INVITE and REGISTER
// are refused as for an unknown account until the registrar and the call
// routing take them over (they replace these handlers in this class).
#pragma once

#include "sip/sip_handlers.h"

class LPBXNewMessageHandler : public LSipNewMessageHandler
{
  public:
    void HandleNewInvite(LPtr<LSipMessage> &message) override;
    void HandleNewOptions(LPtr<LSipMessage> &message) override;
    void HandleNewRegister(LPtr<LSipMessage> &message) override;
};

extern LPBXNewMessageHandler gPBXNewMessageHandler;
