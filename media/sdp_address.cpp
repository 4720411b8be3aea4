#include "media/sdp_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include "media/sdp_text.h"
#include "platform/log.h"

bool LSDPSystemResolver::ResolveHostName(const std::string &name, uint32_t &ip)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo *found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    ip = ntohl(reinterpret_cast<sockaddr_in *>(found->ai_addr)->sin_addr.s_addr);
    freeaddrinfo(found);
    return true;
}

bool LSDPParseDotted(std::string_view host, uint32_t &ip)
{
    ip = 0;
    if (host.empty() || host.size() > kSDPTextMax)
        return false;
    std::string text(host);
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1)
        return false;
    ip = ntohl(parsed.s_addr);
    return true;
}

bool LSDPResolveHost(std::string_view host, uint32_t &ip, LSDPHostResolver &resolver)
{
    if (LSDPParseDotted(host, ip))
        return true;
    if (host.empty() || host.size() > kSDPTextMax)
        return false;
    if (!resolver.ResolveHostName(std::string(host), ip)) {
        ip = 0;
        return false;
    }
    return true;
}

bool LSDPIsPrivateIP(uint32_t ip)
{
    const uint32_t a = ip >> 24, b = (ip >> 16) & 0xFF;
    return a == 10 || (a == 172 && b >= 16 && b <= 31) || (a == 192 && b == 168) ||
           (a == 169 && b == 254) || (a == 127 && b == 0);
}

bool LSDPIsPrivateHost(std::string_view host, LSDPHostResolver &resolver)
{
    uint32_t ip = 0;
    LSDPResolveHost(host, ip, resolver);
    return LSDPIsPrivateIP(ip);
}

bool LSDPIsPublicHost(std::string_view host, LSDPHostResolver &resolver)
{
    return !LSDPIsPrivateHost(host, resolver);
}

LSDPMediaDestination LSDPMakeDestination(std::string_view host, uint16_t port,
                                         LSDPHostResolver &resolver)
{
    LSDPMediaDestination destination;
    destination.host = LSDPFieldText(host);
    destination.port = port;
    bool resolved = LSDPResolveHost(host, destination.ip, resolver);
    destination.valid = resolved && destination.ip != 0 && port != 0;
    if (!resolved && !host.empty())
        LOGWARNTEXT("SDP media host cannot be resolved: ", destination.host.c_str());
    return destination;
}
