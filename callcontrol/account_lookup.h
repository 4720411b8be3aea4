// Finding the account a new request names: extensions by name, external
// lines by ID, both without case and in list order. Only accounts whose own
// record file exists count: leftovers of a deleted account (a contact list
// folder that outlived its record) name no one and carry no password.
#pragma once

#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"

// The extension found is a snapshot, read once (KeepSnapshot).
bool LPBXFindExtension(const char *name, LPBXExtension &out);
// anyServer false: only lines that register to the exchange (no server).
bool LPBXFindExternalLine(const char *id, bool anyServer, LPBXExternalLine &out);
