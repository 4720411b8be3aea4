// What call control and media supply to the SIP dialogs and the target
// lists of a running exchange: they reach phones behind NAT routers through
// the registrar's contact map, and a dialog answers an in-dialog OPTIONS
// with the exchange's idle SDP offer.
#pragma once

#include "callcontrol/call_target_env.h"
#include "sip/sip_stack.h"

class LSDPSettings;
class LPBXContactStore;

class LPBXDialogServices : public LSipDialogServices
{
  public:
    LPBXDialogServices(LSDPSettings &sdp, const LClock &clock, LPBXContactStore &contacts)
        : m_Sdp(sdp), m_Clock(clock), m_Contacts(contacts)
    {
    }
    bool MapContact(char *uri, size_t capacity, const LIPAddressWithPort &source) override;
    void MakeDefaultSdp(const LSipMessage &request, std::string &out) override;

  private:
    LSDPSettings &m_Sdp;
    const LClock &m_Clock;
    LPBXContactStore &m_Contacts;
};

// The target-list environment of a running exchange: contacts learnt from
// messages pass through the registry contact map. The main engine may
// derive from it to add the desktop notification.
class LPBXRunningEnvironment : public LPBXCallTargetEnvironment
{
  public:
    using LPBXCallTargetEnvironment::LPBXCallTargetEnvironment;
    bool ApplyRegistryContactMapping(char *uri, const LIPAddressWithPort &source) const override;
};
