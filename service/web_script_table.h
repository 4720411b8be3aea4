// The control panel's full script table: log-on, the configuration pages and
// the log pages, and the start of the web server with it.
#pragma once

#include "web/weblet_server.h"

// The table in the order the control panel lists its scripts.
const LWebletScriptItem *VLWebScriptTable(int *count);

// Copies the static files ("WebControl" and "help") that the shared data
// and resources folders do not have yet from the source tree, so that a
// build run without an installer still serves its images and styles.
// Files already there are left alone.
void VLSeedWebFiles();

// Seeds the static files and starts the server on the configured port (or
// on port when it is above 0).
bool VLStartWebServer();
bool VLStartWebServer(int port, const LWebPageContext *context = nullptr);
