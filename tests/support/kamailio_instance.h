// A real Kamailio as the provider of external-line tests: a registrar with
// digest authentication (fixed passwords per user), locations in memory, and
// calls routed to registered users. Started in the foreground on a free
// loopback port with a configuration written into a temporary folder, and
// stopped by PID.
#pragma once

#include "process.h"

#include <map>
#include <string>

namespace vtest
{
class KamailioInstance
{
  public:
    // user -> password; a user listed here must answer a challenge for
    // REGISTER and (as the caller) for INVITE. Given a network namespace
    // (under /run/netns), it listens there at ip:5060.
    explicit KamailioInstance(std::map<std::string, std::string> accounts, int maxExpires = 20,
                              std::string netns = "", std::string ip = "127.0.0.1");
    ~KamailioInstance();

    // False (with why) when Kamailio is missing or does not come up.
    bool Start(std::string &why);
    std::string Address() const { return mIp + ":" + std::to_string(mPort); }
    // The location table as `kamcmd ul.dump` prints it.
    std::string DumpLocations();
    // Every request Kamailio received so far, each logged whole.
    const std::string &Log() { return mProcess.Output(); }

  private:
    std::string Config() const;

    std::map<std::string, std::string> mAccounts;
    int mMaxExpires;
    std::string mNetns, mIp;
    int mPort;
    TempDir mFolder{"vela-kamailio"};
    ChildProcess mProcess;
};
} // namespace vtest
