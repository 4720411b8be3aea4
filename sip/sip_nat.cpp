#include "sip/sip_nat.h"

#include "platform/ipaddress.h"
#include "platform/log.h"
#include "platform/sip_setting_keys.h"

#include <cstdio>
#include <cstring>

namespace
{
constexpr int kHighestPort = 65535;

void Copy(char *out, const char *text)
{
    snprintf(out, kSipNatText, "%s", text ? text : "");
}

bool PortInRange(long port)
{
    return port >= 1 && port <= kHighestPort;
}

struct Run {
    LStopTest stop;
    void *process;
    LSipNatContext &context;
    const LSipNatSettings &settings;
    const LSipNatSocket &local;
    LSipNatAddress &out;
};

LProcessResult AskStun(Run &run, const char *server)
{
    char resolved[kSipNatText];
    LIPAddressWithPort address;
    if (run.context.names && server[0]) {
        if (run.context.names->Lookup(server, kStunDefaultPort, address) != LNameLookup::Found)
            return LProcessFailed;
        address.ToString(resolved);
        server = resolved;
    }
    return LStunSteps::GetAddress(run.stop, run.process, run.context.clock, run.context.stun,
                                  server, run.local.socket, run.out.publicIP, kSipNatText,
                                  run.out.publicPort, &run.context.strays);
}

bool TryStun(Run &run)
{
    LStunState &state = run.context.stun;
    const char *first = state.backup.load() ? run.settings.stunServer2 : run.settings.stunServer1;
    const char *second = state.backup.load() ? run.settings.stunServer1 : run.settings.stunServer2;
    if (AskStun(run, first) == LProcessSuccess)
        return true;
    if (!first[0])
        return false;
    SIPLOGERRORF("STUN server failed: %s", first);
    state.backup.store(!state.backup.load());
    if (AskStun(run, second) == LProcessSuccess)
        return true;
    SIPLOGERRORF("STUN server failed: %s", second);
    SIPLOGERROR("The internet connection could be down.");
    SIPLOGERRORF("Check local firewall is not blocking UDP port %d", run.local.localPort);
    SIPLOGERROR("Also check STUN settings or use different STUN servers.");
    state.backup.store(false);
    return false;
}

int PrivateLastOctet(const LSipNatSocket &local)
{
    if (local.privateLastOctet >= 0)
        return local.privateLastOctet;
    uint32_t address = 0;
    return GetLocalHostPrivateIP(address) ? (int)(address & 0xFF) : 0;
}

bool TryUpnp(Run &run)
{
    long external =
        (long)run.local.localPort + (long)run.local.portStride * PrivateLastOctet(run.local);
    bool refused = false;
    LProcessResult result = LProcessFailed;
    char externalIP[kSipNatText] = {0};
    // A port past 65535 would wrap into someone else's mapping.
    if (PortInRange(external) && run.context.upnp != nullptr)
        result = run.context.upnp->MapPort(run.local.localIP, run.local.localPort, externalIP,
                                           sizeof(externalIP), (int)external, refused);
    if (result == LProcessSuccess) {
        Copy(run.out.publicIP, externalIP);
        run.out.publicPort = (int)external;
        run.out.behindNAT = false;
        return true;
    }
    SIPLOGERROR("Unable to use uPNP for NAT routing (uPNP failed)");
    if (refused)
        SIPLOGERROR("Error: uPNP NAT routing is disabled on the server or router. Please see "
                    "Help for how to enable it.");
    return false;
}
} // namespace

void LSipNatSteps::Resolve(LStopTest stop, void *process, LSipNatContext &context,
                           const LSipNatSettings &settings, const LSipNatSocket &local,
                           LSipNatAddress &out)
{
    Copy(out.publicIP, local.localIP);
    out.publicPort = local.localPort;
    out.behindNAT = true;
    Run run{stop, process, context, settings, local, out};
    bool found = false;
    if (LIPIsPublic(local.localIP)) {
        found = true;
        out.behindNAT = false;
    }
    bool staticInUse = false;
    long staticPort = (long)local.localPort - local.localBase + local.staticPublicBase;
    if (!found && settings.isStatic) {
        if (settings.writeBool)
            settings.writeBool(LSipKeys::Active.key, false);
        if (PortInRange(staticPort)) {
            staticInUse = true;
            if (settings.staticPublicIP[0]) {
                Copy(out.publicIP, settings.staticPublicIP);
                found = true;
            }
        } else {
            SIPLOGERRORF("Static port mapping gives port %ld: static mapping not used", staticPort);
        }
    }
    if (!found && !settings.active && settings.stun)
        found = TryStun(run);
    if (!found && settings.upnp)
        found = TryUpnp(run);
    if (!found) {
        SIPLOGERROR("Unable to auto-detect public IP. Using private IP");
        Copy(out.publicIP, local.localIP);
        out.publicPort = local.localPort;
    }
    if (staticInUse) {
        out.publicPort = (int)staticPort;
        out.behindNAT = false;
    }
}
