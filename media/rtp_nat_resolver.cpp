#include "media/rtp_nat_resolver.h"

#include "config/settings.h"
#include "platform/sip_setting_keys.h"
#include "sip/sip_nat.h"
#include "sip/upnp.h"

namespace
{
constexpr int kRtpPortStride = 16;

void ReadString(const LSipStringKey &key, char *out)
{
    out[0] = 0;
    LSettingGetString(LSipKeys::kSection, key.key, key.def, out);
}
} // namespace

void LRtpNatResolve(LStunState &stun, const LClock &clock, LRtpPublicAddressQuery &query)
{
    LSipNatSettings settings;
    settings.isStatic =
        LSettingGetBool(LSipKeys::kSection, LSipKeys::Static.key, LSipKeys::Static.def);
    ReadString(LSipKeys::StaticPublicIp, settings.staticPublicIP);
    settings.stun = LSettingGetBool(LSipKeys::kSection, LSipKeys::Stun.key, LSipKeys::Stun.def);
    settings.active =
        LSettingGetBool(LSipKeys::kSection, LSipKeys::Active.key, LSipKeys::Active.def);
    settings.upnp = LSettingGetBool(LSipKeys::kSection, LSipKeys::Upnp.key, LSipKeys::Upnp.def);
    ReadString(LSipKeys::StunServer1, settings.stunServer1);
    ReadString(LSipKeys::StunServer2, settings.stunServer2);
    settings.writeBool = [](const char *key, bool value) {
        LSettingSetBool(LSipKeys::kSection, key, value);
    };
    LSipNatSocket local;
    local.localIP = query.privateIP.c_str();
    local.localPort = query.localPort;
    local.socket = query.socket;
    local.portStride = kRtpPortStride;
    local.staticPublicBase = query.staticRtpPortBase;
    local.localBase = query.rtpPortBase;
    LProcessInterfaceVoid process;
    LUpnpPortMapper upnp(LStopTestOf<LProcessInterfaceVoid>, &process);
    LSipNatContext context{stun, clock, &upnp};
    LSipNatAddress found;
    ProcessSipNat(process, context, settings, local, found);
    query.publicIP = found.publicIP;
    query.publicPort = (uint16_t)found.publicPort;
    // A STUN mapping (or none) closes when the port falls silent.
    query.keepAlive = found.behindNAT;
}
