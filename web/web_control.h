// The control panel's web server as the engine starts and stops it.
#pragma once

#include "web/weblet_server.h"

namespace LWebControl
{
// Serves the given script table with server from the "WebControl" folder of
// the shared data folder on port, or on the configured one
// ("WebServer"/"Port") when port is 0.
bool StartServer(LWebletServer &server, const LWebletScriptItem *table, int count, int port,
                 const LWebPageContext *context);
} // namespace LWebControl

// The scripts this library provides itself: "", "logon", "logoff" and the
// account page "webaccess".
extern const LWebletScriptItem kWebLogonScripts[];
extern const int kWebLogonScriptCount;
