#include "callcontrol/new_request_responder.h"

#include "sip/sip_engine.h"

void LEngineResponder::Respond(const LSipMessage &request, int status, const char *reason,
                               const char *extraHeaders)
{
    gSipEngine.SendResponse(request, status, reason, nullptr, nullptr, nullptr, nullptr, false,
                            extraHeaders);
}

bool LEngineResponder::IsOwnSipAddress(const LIPAddressWithPort &address)
{
    char ip[kSipLongText];
    LIPAddressWithPort own;
    gSipEngine.GetPrivateIP(ip, sizeof(ip));
    if (ip[0] && own.SetFromText(ip, gSipEngine.GetPrivateSipPort()) && own.IsSameAs(address))
        return true;
    gSipEngine.GetPublicIP(ip, sizeof(ip));
    return ip[0] && own.SetFromText(ip, gSipEngine.GetPublicSipPort()) && own.IsSameAs(address);
}
