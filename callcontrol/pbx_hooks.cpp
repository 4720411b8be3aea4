#include "callcontrol/pbx_hooks.h"

#include "callcontrol/initiate_list.h"
#include "callcontrol/registry_map.h"
#include "media/sdp_session.h"
#include "platform/tick.h"
#include "sip/sip_call_hooks.h"

namespace
{
const LPBXRunningEnvironment gRunningEnvironment;

bool MapDialogContact(char *uri, size_t capacity, const LIPAddressWithPort &source)
{
    return ApplyRegistryContactMapping(uri, capacity, source, GetUnixTime());
}

void MakeIdleOffer(const LSipMessage &, std::string &out)
{
    LSDPSession::CreateDefaultSDP(out);
}
} // namespace

bool LPBXRunningEnvironment::ApplyRegistryContactMapping(char *uri,
                                                         const LIPAddressWithPort &source) const
{
    return ::ApplyRegistryContactMapping(uri, kSipInitiateTextSize, source, GetUnixTime());
}

void LPBXInstallHooks()
{
    LSipSetContactMapper(MapDialogContact);
    LSipSetDefaultSdpMaker(MakeIdleOffer);
    LPBXSetCallTargetEnvironment(&gRunningEnvironment);
}

void LPBXRemoveHooks()
{
    LSipSetContactMapper(nullptr);
    LSipSetDefaultSdpMaker(nullptr);
    LPBXSetCallTargetEnvironment(nullptr);
}
