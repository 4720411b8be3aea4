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

// An even port base unlikely to collide with other tests running at once.
inline uint16_t RandomPortBase()
{
    return (uint16_t)(20000 + 2 * LRandomBelow(15000));
}
