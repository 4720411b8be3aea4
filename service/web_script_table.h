// The control panel's full script table: log-on, the configuration pages and
// the log pages, and the start of the web server with it.
#pragma once

#include "web/weblet_server.h"

// The table in the order the control panel lists its scripts.
const LWebletScriptItem *VLWebScriptTable(int *count);

// Copies the static files ("WebControl" and "help") that the shared data
// and resources folders do not have yet from the program's data folder
// (see data_files.h), so that a new program folder serves its images and
// styles from the first start. Files already there are left alone, so the
// owner's edits survive. A missing set is logged as an error.
void VLSeedWebFiles();
// The same from the given data folder.
void VLSeedWebFiles(const char *dataFolder);

// Seeds the static files and starts server with the full table on the
// configured port (or on port when it is above 0).
bool VLStartWebServer(LWebletServer &server, int port, const LWebPageContext *context);
