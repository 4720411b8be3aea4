// What the control panel pages may read from the running engine. MainEngine
// builds it and hands it to the web server, which passes it to every page
// through its form; a page run without an engine sees none.
#pragma once

#include "callcontrol/contact_store.h"
#include "sip/sip_line_register.h"

#include <functional>

struct LWebPageContext {
    // Registration state of the external lines with their providers.
    LSipLineStatusSource *lineStatus = nullptr;
    // A line was saved or deleted: the engine registers its lines anew.
    std::function<void()> linesChanged;
    // The registrations as the registrar holds them; null reads the records.
    LPBXContactStore *contacts = nullptr;
};
