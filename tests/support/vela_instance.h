// The real exchange under test: `vela -foreground` with a temporary program
// folder (VELA_ROOT), started and stopped by PID. Write settings files under
// SharedDataFolder() before Start to configure it.
#pragma once

#include "process.h"

#include <string>
#include <vector>

namespace vtest
{
// Interop test targets are compiled with VELA_BINARY, the built executable;
// the default argument below expands in the test's own translation unit.
#ifdef VELA_BINARY
#define VTEST_VELA_BINARY VELA_BINARY
#else
#define VTEST_VELA_BINARY "vela"
#endif

// The log line that marks a service ready to serve.
inline constexpr const char *kVelaReadyText = "Service started, process ";

// Today's program log file name ("YYYY-MM-DD Vela Log.txt", local date).
std::string TodayLogFileName();

class VelaInstance
{
  public:
    explicit VelaInstance(std::string binary = VTEST_VELA_BINARY);
    VelaInstance(const VelaInstance &) = delete;
    VelaInstance &operator=(const VelaInstance &) = delete;

    const std::string &Root() const { return mRoot.Path(); }
    std::string SharedDataFolder() const { return Root() + "/vela/etc"; }
    std::string LogFolder() const { return SharedDataFolder() + "/Logs"; }
    std::string TodayLogPath() const { return LogFolder() + "/" + TodayLogFileName(); }
    // Writes the port setting of a section ("sip", "webserver"); Start gives
    // each section the test did not set a free port of its own.
    void SetPort(const char *section, int port) const;

    // Starts `vela <argument>` (default -foreground) with VELA_ROOT set and
    // the extra environment, and waits for the ready line in its output.
    bool Start(const std::vector<std::string> &env = {}, int timeoutMs = 10000,
               const std::string &argument = "-foreground");
    ChildProcess &Process() { return mProcess; }
    // Sends sig and waits for the exit; status as waitpid gives it.
    bool Stop(int sig, int timeoutMs, int *status = nullptr);

    // The control panel's address once started ("http://127.0.0.1:<port>").
    std::string WebBase() const;
    // Logs on to the panel as the default account, waiting for its listener,
    // which binds on a thread of its own; "sess=<id>", or "" on time-out.
    std::string PanelCookie(int timeoutMs = 10000) const;

  private:
    std::string mBinary;
    TempDir mRoot{"vela-root"};
    ChildProcess mProcess;
};
} // namespace vtest
