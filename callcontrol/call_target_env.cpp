#include "callcontrol/call_target_env.h"

#include "config/pbx_global_settings.h"
#include "platform/ipaddress.h"

#include <arpa/inet.h>
#include <cstdio>
#include <ifaddrs.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <strings.h>
#include <unistd.h>

LPBXBindings LPBXCallTargetEnvironment::GetContacts(const LPBXContactList &owner) const
{
    if (m_Contacts)
        return m_Contacts->Read(owner);
    LPBXFileContacts files;
    return files.Read(owner);
}

namespace
{

bool ReverseLookup(uint32_t address, char *out, size_t capacity)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    return getnameinfo((const sockaddr *)&sa, sizeof sa, out, capacity, nullptr, 0, NI_NAMEREQD) ==
           0;
}

bool OfficialHostName(char *out, size_t capacity)
{
    char name[256];
    if (gethostname(name, sizeof name) != 0)
        return false;
    name[sizeof name - 1] = 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_flags = AI_CANONNAME;
    addrinfo *info = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &info) != 0)
        return false;
    bool found = info && info->ai_canonname && info->ai_canonname[0];
    if (found)
        snprintf(out, capacity, "%s", info->ai_canonname);
    freeaddrinfo(info);
    return found;
}
} // namespace

const char *LPBXLookupLocalFQDN(char *out, size_t capacity)
{
    static std::once_flag once;
    static char fqdn[260] = "localhost";
    std::call_once(once, [] {
        uint32_t address = 0;
        if (GetLocalHostPrivateIP(address) && ReverseLookup(address, fqdn, sizeof fqdn))
            return;
        if (!OfficialHostName(fqdn, sizeof fqdn))
            snprintf(fqdn, sizeof fqdn, "localhost");
    });
    snprintf(out, capacity, "%s", fqdn);
    return out;
}

bool LPBXCallTargetEnvironment::ApplyRegistryContactMapping(char *,
                                                            const LIPAddressWithPort &) const
{
    return false;
}

const char *LPBXCallTargetEnvironment::GetLocalFQDN(char *out) const
{
    return LPBXLookupLocalFQDN(out, 260);
}

bool LPBXCallTargetEnvironment::IsOwnAddress(const char *host, uint16_t port) const
{
    if (port != LPBXSettings::SipPort.Get())
        return false;
    char fqdn[260];
    if (strcasecmp(host, "localhost") == 0 || strcasecmp(host, GetLocalFQDN(fqdn)) == 0)
        return true;
    uint32_t address = 0;
    return LIPParseDotted(host, address) && IsLocalInterfaceAddress(address);
}

void LPBXCallTargetEnvironment::NotifyDesktop(int, int) const {}
