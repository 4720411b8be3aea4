#include "callcontrol/proxy_engine_transport.h"

#include "callcontrol/registry_map.h"
#include "sip/sip_engine.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

void LPBXEngineProxyTransport::SendPacketUDP(const LIPAddressWithPort &to, const std::string &text)
{
    m_Engine.SendPacketUDP(to, text);
}

void LPBXEngineProxyTransport::Respond(const LSipMessage &request, int status, const char *reason,
                                       const char *extraHeaders)
{
    m_Engine.SendResponse(request, status, reason, nullptr, nullptr, nullptr, nullptr, false,
                          extraHeaders);
}

void LPBXEngineProxyTransport::GetPublicAddress(char *host, size_t capacity, int &port)
{
    m_Engine.GetPublicIP(host, capacity);
    port = m_Engine.GetPublicSipPort();
}

void LPBXEngineProxyTransport::GetPrivateAddress(char *host, size_t capacity, int &port)
{
    m_Engine.GetPrivateIP(host, capacity);
    port = m_Engine.GetPrivateSipPort();
}

void LPBXEngineProxyTransport::CreateNewBranchID(char *out, size_t capacity)
{
    m_Engine.CreateNewBranchID(out, capacity);
}

bool LPBXEngineProxyTransport::IsOwnAddress(const LIPAddressWithPort &address)
{
    char ip[kSipLongText];
    LIPAddressWithPort own;
    m_Engine.GetPublicIP(ip, sizeof(ip));
    if (LSipAddressFromHost(ip, m_Engine.GetPublicSipPort(), own) && own.IsSameAs(address))
        return true;
    int bound = m_Engine.GetPrivateSipPort();
    return bound != 0 && address.GetPort() == bound &&
           IsLocalInterfaceAddress(address.GetAddress());
}
