// The keys of the settings section "SIP" and their defaults, spelled once.
// The SIP engine, its network test and NAT traversal read them below the
// settings store, the settings descriptors, call control, media and the
// control panel above it; this is the one header all of them can reach.
#pragma once

struct LSipBoolKey {
    const char *key;
    bool def;
};

struct LSipIntKey {
    const char *key;
    int def;
};

struct LSipStringKey {
    const char *key;
    const char *def;
};

namespace LSipKeys
{
inline constexpr const char *kSection = "SIP";

inline constexpr LSipIntKey Port{"Port", 5060};
inline constexpr LSipIntKey RtpPortBase{"RTPPortBase", 8000};
inline constexpr LSipBoolKey Static{"STATIC", false};
inline constexpr LSipStringKey StaticPublicIp{"STATICPublicIP", ""};
inline constexpr LSipIntKey StaticSipPort{"STATICSIPPort", 5060};
inline constexpr LSipIntKey StaticRtpPortBase{"STATICRTPPortBase", 8000};
inline constexpr LSipBoolKey Stun{"STUN", true};
// No STUN server by default: a fresh exchange must not send traffic to a
// public host nobody chose; the administrator names one (RFC 5389, port 3478).
inline constexpr LSipStringKey StunServer1{"STUNServer1", ""};
inline constexpr LSipStringKey StunServer2{"STUNServer2", ""};
inline constexpr LSipBoolKey Upnp{"UPNP", false};
inline constexpr LSipBoolKey Active{"Active", false};
inline constexpr LSipBoolKey WizRun{"WizRun", false};
inline constexpr LSipIntKey Quality{"Quality", 50};
// At least this many call threads run at once; the setting may raise the
// limit, never lower it.
inline constexpr LSipIntKey MaxCalls{"MaxCalls", 256};
// Calls one source may have running without authenticating.
inline constexpr LSipIntKey MaxCallsPerSource{"MaxCallsPerSource", 16};
} // namespace LSipKeys
