// The external lines the exchange registers with their providers, read
// from the line records each time the engine starts or the lines change.
#include "config/folders.h"
#include "config/pbx_external_line.h"
#include "service/main_engine.h"
#include "sip/sip_engine.h"

#include <cstring>
#include <string>
#include <vector>

// The SIP engine's next pass sends the REGISTERs; only a line that is gone
// or changed sends its un-REGISTER from here. A line without a server is one
// a device registers to us on instead.
void MainEngine::RegisterLines()
{
    constexpr int kLineQuality = 90;
    std::vector<LSipLineRegistration> lines;
    char lineID[LPathSize], server[LPathSize], authID[LPathSize], proxy[LPathSize];
    char password[LPathSize];
    for (LPBXExternalLineListIterator it; it; it.Next()) {
        if (!it->GetLineID(lineID)[0] || !it->GetServer(server)[0])
            continue;
        if (!it->GetAuthUserID(authID)[0])
            strcpy(authID, lineID);
        if (!it->GetOutboundProxy(proxy)[0])
            strcpy(proxy, server);
        it->GetPassword(password);
        std::string aor = std::string("sip:") + lineID + "@" + server;
        lines.push_back({server, proxy, aor, lineID, authID, password, kLineQuality});
    }
    mSipEngine.SetProxyRegisters(lines);
}
