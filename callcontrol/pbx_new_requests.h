// Call control's answers to new requests outside any dialog, registered with
// the SIP engine when it starts: OPTIONS is never served, REGISTER goes to
// the registrar, INVITE to the call classification.
#pragma once

#include "callcontrol/pbx_context.h"
#include "callcontrol/request_guards.h"
#include "sip/sip_handlers.h"

class LPBXNewMessageHandler : public LSipNewMessageHandler
{
  public:
    explicit LPBXNewMessageHandler(const LPBXContext &context) : m_Context(context) {}
    void HandleNewInvite(LPtr<LSipMessage> &message) override;
    void HandleNewOptions(LPtr<LSipMessage> &message) override;
    void HandleNewRegister(LPtr<LSipMessage> &message) override;
    void LogAddress() override;

  private:
    const LPBXContext &m_Context;
    // All handlers run on the engine's receive thread; the guards also lock
    // for themselves.
    LPBXRequestGuards m_Guards;
};
