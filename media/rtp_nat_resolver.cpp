#include "media/rtp_nat_resolver.h"

#include "config/settings.h"
#include "sip/sip_nat.h"
#include "sip/upnp.h"

namespace
{
constexpr int kRtpPortStride = 16;

void ReadString(const char *key, char *out)
{
    out[0] = 0;
    LSettingGetString("SIP", key, "", out);
}
} // namespace

void LRtpNatResolve(LStunState &stun, LRtpPublicAddressQuery &query)
{
    LSipNatSettings settings;
    settings.isStatic = LSettingGetBool("SIP", "STATIC", false);
    ReadString("STATICPublicIP", settings.staticPublicIP);
    settings.stun = LSettingGetBool("SIP", "STUN", true);
    settings.active = LSettingGetBool("SIP", "Active", false);
    settings.upnp = LSettingGetBool("SIP", "UPNP", false);
    ReadString("STUNServer1", settings.stunServer1);
    ReadString("STUNServer2", settings.stunServer2);
    settings.writeBool = [](const char *key, bool value) { LSettingSetBool("SIP", key, value); };
    LSipNatSocket local;
    local.localIP = query.privateIP.c_str();
    local.localPort = query.localPort;
    local.socket = query.socket;
    local.portStride = kRtpPortStride;
    local.staticPublicBase = query.staticRtpPortBase;
    local.localBase = query.rtpPortBase;
    LProcessInterfaceVoid process;
    LUpnpPortMapper upnp(LStopTestOf<LProcessInterfaceVoid>, &process);
    LSipNatContext context{stun, &upnp};
    LSipNatAddress found;
    ProcessSipNat(process, context, settings, local, found);
    query.publicIP = found.publicIP;
    query.publicPort = (uint16_t)found.publicPort;
    // A STUN mapping (or none) closes when the port falls silent.
    query.keepAlive = found.behindNAT;
}
