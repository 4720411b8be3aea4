// A temporary settings root and relay ports for the relay and recorder tests.
#pragma once

#include "config/settings.h"
#include "platform/random.h"
#include "support/log_catcher.h"
#include "support/process.h"
#include "support/udp_peer.h"

#include <cstdlib>
#include <string>

using vtest::LogCatcher;
using vtest::UdpPeer;

// VELA_ROOT in a fresh folder, removed afterwards.
class TempSettingsRoot
{
  public:
    TempSettingsRoot()
    {
        setenv("VELA_ROOT", root_.Path().c_str(), 1);
        setenv("HOME", (root_.Path() + "/home").c_str(), 1);
        char folder[LPathSize];
        LCreateFolder(LSettingsGetSharedFolder(folder));
    }
    ~TempSettingsRoot() { unsetenv("VELA_ROOT"); }

  private:
    vtest::TempDir root_{"vela-rtp"};
};

// An even port base unlikely to collide with other tests running at once:
// below 32768, where the kernel's range for sockets bound without a port
// begins (a test uses at most a few hundred ports above its base).
inline uint16_t RandomPortBase()
{
    return (uint16_t)(20000 + 2 * LRandomBelow(6000));
}

// Whether a bind to the port fails now.
inline bool PortTaken(uint16_t port)
{
    return UdpPeer(port, "0.0.0.0").Port() != port;
}

// A random base of which count ports are free to bind now, for tests that
// expect exact port numbers.
inline uint16_t FreePortBase(int count)
{
    for (;;) {
        uint16_t base = RandomPortBase();
        int n = 0;
        while (n < count && !PortTaken((uint16_t)(base + n)))
            n++;
        if (n == count)
            return base;
    }
}

// A phone's SDP offer of codecs (payload numbers) at port of 127.0.0.1.
inline std::string PhoneOffer(uint16_t port, const char *codecs)
{
    return "v=0\r\no=p 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio " +
           std::to_string(port) + " RTP/AVP " + codecs + "\r\n";
}
