#include "platform/ipaddress.h"

#include "platform/strings.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <unistd.h>

namespace
{
// Resolves host to at most max IPv4 addresses; returns how many.
int Resolve(const char *host, uint32_t *out, int max)
{
    uint32_t dotted;
    if (LIPParseDotted(host, dotted)) {
        out[0] = dotted;
        return 1;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *list = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &list) != 0 || !list)
        return 0;
    int count = 0;
    for (addrinfo *a = list; a && count < max; a = a->ai_next) {
        uint32_t address = ntohl(((sockaddr_in *)a->ai_addr)->sin_addr.s_addr);
        bool seen = false;
        for (int i = 0; i < count; i++)
            seen = seen || out[i] == address;
        if (!seen)
            out[count++] = address;
    }
    freeaddrinfo(list);
    return count;
}
} // namespace

bool LIPSplitHostPort(const char *text, char (&host)[260], int defaultPort, int &port)
{
    if (!text)
        return false;
    const char *colon = strrchr(text, ':');
    port = defaultPort;
    if (!colon) {
        LStrCopy(host, text);
        return host[0] != 0;
    }
    LStrCopyN(host, text, (size_t)(colon - text));
    char *end = nullptr;
    long value = strtol(colon + 1, &end, 10);
    if (end == colon + 1 || *end || value < 0 || value > 65535)
        return false;
    port = (int)value;
    return host[0] != 0;
}

LIPAddressWithPort::LIPAddressWithPort()
{
    memset(&m_addr, 0, sizeof m_addr);
    m_addr.sin_family = AF_INET;
}

LIPAddressWithPort::LIPAddressWithPort(uint32_t address, int port) : LIPAddressWithPort()
{
    SetAddress(address);
    SetPort(port);
}

bool LIPAddressWithPort::SetFromText(const char *text, int defaultPort)
{
    char host[260];
    int port;
    uint32_t address;
    if (!LIPSplitHostPort(text, host, defaultPort, port) || Resolve(host, &address, 1) != 1)
        return false;
    SetAddress(address);
    SetPort(port);
    return true;
}

bool LIPAddressWithPort::IsValid() const
{
    uint32_t a = GetAddress();
    return m_addr.sin_family == AF_INET && a != 0 && a != 0xFFFFFFFFu;
}

bool LIPAddressWithPort::IsPrivate() const
{
    return IsIPPrivate(GetAddress());
}

bool LIPAddressWithPort::IsSameAs(const LIPAddressWithPort &other) const
{
    return HasSameHostAs(other) && m_addr.sin_port == other.m_addr.sin_port;
}

bool LIPAddressWithPort::HasSameHostAs(const LIPAddressWithPort &other) const
{
    return m_addr.sin_addr.s_addr == other.m_addr.sin_addr.s_addr;
}

void LIPAddressWithPort::ToString(char *out, size_t capacity) const
{
    uint32_t a = GetAddress();
    LStrFormat(out, capacity, "%d.%d.%d.%d:%d", (int)(a >> 24), (int)(a >> 16 & 255),
               (int)(a >> 8 & 255), (int)(a & 255), GetPort());
}

void LIPAddressWithPort::ToHostString(char *out, size_t capacity) const
{
    uint32_t a = GetAddress();
    LStrFormat(out, capacity, "%d.%d.%d.%d", (int)(a >> 24), (int)(a >> 16 & 255),
               (int)(a >> 8 & 255), (int)(a & 255));
}

bool LIPAddressMultiHomed::SetFromText(const char *text, int defaultPort)
{
    char host[260];
    int port;
    m_count = 0;
    uint32_t found[MaxAddresses];
    if (!LIPSplitHostPort(text, host, defaultPort, port))
        return false;
    int count = Resolve(host, found, MaxAddresses);
    for (int i = 0; i < count; i++)
        Add(LIPAddressWithPort(found[i], port));
    return m_count > 0;
}

bool LIPAddressMultiHomed::Add(const LIPAddressWithPort &address)
{
    if (m_count >= MaxAddresses)
        return false;
    m_addresses[m_count++] = address;
    return true;
}

bool LIPAddressMultiHomed::HasHost(const LIPAddressWithPort &address) const
{
    for (int i = 0; i < m_count; i++)
        if (m_addresses[i].HasSameHostAs(address))
            return true;
    return false;
}

bool IsIPPrivate(uint32_t address)
{
    uint32_t a = address >> 24, b = address >> 16 & 255;
    return a == 10 || (a == 172 && b >= 16 && b <= 31) || (a == 192 && b == 168) ||
           (a == 169 && b == 254) || (a == 127 && b == 0);
}

bool IsIPSpecial(uint32_t address)
{
    uint32_t a = address >> 24;
    return a == 0 || a == 127;
}

bool LIPParseDotted(const char *dotted, uint32_t &address)
{
    in_addr parsed{};
    if (!dotted || inet_pton(AF_INET, dotted, &parsed) != 1)
        return false;
    address = ntohl(parsed.s_addr);
    return true;
}

bool LIPIsPrivate(const char *dotted)
{
    uint32_t address;
    return LIPParseDotted(dotted, address) && IsIPPrivate(address);
}

bool LIPIsPublic(const char *dotted)
{
    return !LIPIsPrivate(dotted);
}

bool GetLocalHostPrivateIP(uint32_t &address)
{
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool found = false;
    for (ifaddrs *i = list; i && !found; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP) ||
            (i->ifa_flags & (IFF_LOOPBACK | IFF_POINTOPOINT)))
            continue;
        uint32_t a = ntohl(((sockaddr_in *)i->ifa_addr)->sin_addr.s_addr);
        if (IsIPPrivate(a) && !IsIPSpecial(a)) {
            address = a;
            found = true;
        }
    }
    freeifaddrs(list);
    return found;
}

bool GetLocalHostIP(uint32_t &address)
{
    char name[256];
    if (gethostname(name, sizeof name) != 0)
        return false;
    name[sizeof name - 1] = 0;
    uint32_t found[16];
    int count = Resolve(name, found, 16);
    if (count == 0)
        return false;
    address = found[0];
    for (int i = 1; i < count; i++)
        if (!IsIPPrivate(found[i]) && !IsIPSpecial(found[i]))
            address = found[i];
    return true;
}

bool LIPGetLocalHostIPPublic(char *out, size_t capacity)
{
    uint32_t address;
    if (!GetLocalHostIP(address)) {
        LStrCopy(out, capacity, "");
        return false;
    }
    LIPAddressWithPort(address, 0).ToHostString(out, capacity);
    return true;
}

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
