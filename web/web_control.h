// The control panel's web server as the engine starts and stops it.
#pragma once

#include "web/weblet_server.h"

class LWebControl
{
  public:
    // Serves the given script table from the "WebControl" folder of the
    // shared data folder on the configured port ("WebServer"/"Port").
    static bool StartServer(const LWebletScriptItem *table, int count);
    // Same on an explicit port (0 = the configured one).
    static bool StartServer(const LWebletScriptItem *table, int count, int port,
                            const LWebPageContext *context = nullptr);
    // Serves only the log-on and log-off scripts (before the pages exist).
    static bool StartServer();
    static void StopServer();
    static LWebletServer &GetServer();
};

// The scripts this library provides itself: "", "logon", "logoff" and the
// account page "webaccess".
extern const LWebletScriptItem kWebLogonScripts[];
extern const int kWebLogonScriptCount;
