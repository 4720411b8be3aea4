// Call control's answers to new requests outside any dialog, registered with
// the SIP engine when it starts: OPTIONS is never served, REGISTER goes to
// the registrar, INVITE to the call classification.
#pragma once

#include "callcontrol/contact_store.h"
#include "callcontrol/pbx_context.h"
#include "callcontrol/request_guards.h"
#include "sip/sip_handlers.h"

class LPBXNewMessageHandler : public LSipNewMessageHandler
{
  public:
    // contacts: where the registrar keeps registrations; null stores them
    // in the contact records directly.
    explicit LPBXNewMessageHandler(const LPBXContext &context, LPBXContactStore *contacts = nullptr)
        : m_Context(context), m_Contacts(contacts ? *contacts : m_Files)
    {
    }
    void HandleNewInvite(LPtr<LSipMessage> &message) override;
    void HandleNewOptions(LPtr<LSipMessage> &message) override;
    void HandleNewRegister(LPtr<LSipMessage> &message) override;
    void LogAddress() override;

  private:
    const LPBXContext &m_Context;
    LPBXFileContacts m_Files;
    LPBXContactStore &m_Contacts;
    // All handlers run on the engine's receive thread; the guards also lock
    // for themselves.
    LPBXRequestGuards m_Guards;
};
