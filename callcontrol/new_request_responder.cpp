#include "callcontrol/new_request_responder.h"

#include "callcontrol/pbx_context.h"
#include "sip/sip_engine.h"

void LEngineResponder::Respond(const LSipMessage &request, int status, const char *reason,
                               const char *extraHeaders)
{
    m_Context.sip.engine.SendResponse(request, status, reason, nullptr, nullptr, nullptr, nullptr,
                                      false, extraHeaders);
}

bool LEngineResponder::IsOwnSipAddress(const LIPAddressWithPort &address)
{
    LSipEngine &engine = m_Context.sip.engine;
    char ip[kSipLongText];
    LIPAddressWithPort own;
    engine.GetPrivateIP(ip, sizeof(ip));
    if (ip[0] && own.SetFromText(ip, engine.GetPrivateSipPort()) && own.IsSameAs(address))
        return true;
    engine.GetPublicIP(ip, sizeof(ip));
    return ip[0] && own.SetFromText(ip, engine.GetPublicSipPort()) && own.IsSameAs(address);
}

bool LEngineResponder::StartCall(const LSipMessage &request, const LPBXCallStart &call)
{
    return m_Context.owner.StartCall(request, call);
}
