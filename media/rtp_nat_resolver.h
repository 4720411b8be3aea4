// The public address of a relay port, found the way the SIP socket's is
// (static mapping, STUN from the port's own socket, UPnP).
#pragma once

#include "media/rtp_relay_connection.h"

class LClock;
struct LStunState;

// Resolves with the given STUN state (the process's shared counter and
// backup flag), timing the STUN attempts on clock; the settings are read on
// every call.
void LRtpNatResolve(LStunState &stun, const LClock &clock, LRtpPublicAddressQuery &query);
