// Finds the public address of one local UDP socket: a static mapping from
// the settings, a STUN binding request, or a UPnP port mapping on the router.
#pragma once

#include "platform/name_cache.h"
#include "platform/socket.h"
#include "sip/stun.h"

#include <cstddef>
#include <functional>

constexpr size_t kSipNatText = 260;

// The "SIP" settings that steer the resolution, read by the caller (the
// settings layer sits beside the SIP stack).
struct LSipNatSettings {
    bool isStatic = false;
    char staticPublicIP[kSipNatText] = {0};
    bool stun = true;
    bool active = false; // a symmetric NAT was found: STUN is not used
    bool upnp = false;
    char stunServer1[kSipNatText] = {0};
    char stunServer2[kSipNatText] = {0};
    // Writes one "SIP" bool setting; may be empty.
    std::function<void(const char *key, bool value)> writeBool;
};

// Maps internalIP:internalPort to externalPort on the router (UDP).
class LSipNatPortMapper
{
  public:
    virtual ~LSipNatPortMapper() = default;
    virtual LProcessResult MapPort(const char *internalIP, int internalPort, char *externalIP,
                                   size_t capacity, int externalPort, bool &refused) = 0;
};

// One local socket and the port arithmetic of its kind: the SIP socket has
// stride 1 and bases "STATICSIPPort"/"Port", RTP sockets stride 16 and
// "STATICRTPPortBase"/"RTPPortBase".
struct LSipNatSocket {
    const char *localIP = "";
    int localPort = 0;
    int socket = -1;
    int portStride = 1;
    int staticPublicBase = 0;
    int localBase = 0;
    // Last octet of the LAN address (the UPnP external port spreads the
    // hosts of one LAN apart); -1 reads it from the interfaces.
    int privateLastOctet = -1;
};

struct LSipNatAddress {
    char publicIP[kSipNatText] = {0};
    int publicPort = 0;
    bool behindNAT = true;
};

struct LSipNatContext {
    LStunState &stun;
    const LClock &clock;               // times the STUN attempts
    LSipNatPortMapper *upnp = nullptr; // null: no UPnP client
    // Set: the STUN servers' names come from here, never from a blocking
    // look-up; a name without an answer counts as a server that failed.
    LNameCache *names = nullptr;
    // Set: the other datagrams read from the socket while a STUN answer is
    // awaited (SIP, on the SIP socket) go here instead of being dropped.
    LStunStrays strays = nullptr;
};

namespace LSipNatSteps
{
void Resolve(LStopTest stop, void *process, LSipNatContext &context,
             const LSipNatSettings &settings, const LSipNatSocket &local, LSipNatAddress &out);
} // namespace LSipNatSteps

// Always leaves a usable address in out: the local one when nothing better
// was found.
template <class P>
void ProcessSipNat(P &process, LSipNatContext &context, const LSipNatSettings &settings,
                   const LSipNatSocket &local, LSipNatAddress &out)
{
    LSipNatSteps::Resolve(LStopTestOf<P>, &process, context, settings, local, out);
}
