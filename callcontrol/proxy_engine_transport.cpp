#include "callcontrol/proxy_engine_transport.h"

#include "callcontrol/registry_map.h"
#include "sip/sip_engine.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

namespace
{
// Every 127.x.x.x reaches the machine itself.
bool IsLocalInterfaceAddress(uint32_t address)
{
    if ((address >> 24) == 127)
        return true;
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool found = false;
    for (ifaddrs *i = list; i && !found; i = i->ifa_next)
        if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET)
            found = ntohl(((sockaddr_in *)i->ifa_addr)->sin_addr.s_addr) == address;
    freeifaddrs(list);
    return found;
}
} // namespace

void LPBXEngineProxyTransport::SendPacketUDP(const LIPAddressWithPort &to, const std::string &text)
{
    m_Engine.SendPacketUDP(to, text);
}

void LPBXEngineProxyTransport::Respond(const LSipMessage &request, int status, const char *reason)
{
    m_Engine.SendResponse(request, status, reason);
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
