// What call control and media plug into the layers below them when the
// exchange starts: the SIP dialogs and the target lists then reach phones
// behind NAT routers through the registrar's contact map, and a dialog
// answers an in-dialog OPTIONS with the exchange's idle SDP offer.
#pragma once

#include "callcontrol/call_target_env.h"

// The target-list environment of a running exchange: contacts learnt from
// messages pass through the registry contact map. The main engine may
// derive from it to add the desktop notification.
class LPBXRunningEnvironment : public LPBXCallTargetEnvironment
{
  public:
    bool ApplyRegistryContactMapping(char *uri, const LIPAddressWithPort &source) const override;
};

// Installs the hooks; call once before the SIP engine starts.
void LPBXInstallHooks();
// Restores the defaults (no mapping, no OPTIONS body) after the engine stopped.
void LPBXRemoveHooks();
