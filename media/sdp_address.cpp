#include "media/sdp_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include "media/sdp_text.h"
#include "platform/log.h"

static bool ResolveByName(const std::string &name, uint32_t &ip)
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

static LSDPHostResolver gResolver = ResolveByName;

void LSDPSetHostResolver(LSDPHostResolver resolver)
{
    gResolver = resolver != nullptr ? resolver : ResolveByName;
}

bool LSDPResolveHost(std::string_view host, uint32_t &ip)
{
    ip = 0;
    if (host.empty() || host.size() > kSDPTextMax)
        return false;
    std::string text(host);
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) == 1) {
        ip = ntohl(parsed.s_addr);
        return true;
    }
    if (!gResolver(text, ip)) {
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

bool LSDPIsPrivateHost(std::string_view host)
{
    uint32_t ip = 0;
    LSDPResolveHost(host, ip);
    return LSDPIsPrivateIP(ip);
}

bool LSDPIsPublicHost(std::string_view host)
{
    return !LSDPIsPrivateHost(host);
}

LSDPMediaDestination LSDPMakeDestination(std::string_view host, uint16_t port)
{
    LSDPMediaDestination destination;
    destination.host = LSDPFieldText(host);
    destination.port = port;
    bool resolved = LSDPResolveHost(host, destination.ip);
    destination.valid = resolved && destination.ip != 0 && port != 0;
    if (!resolved && !host.empty())
        LOGWARNTEXT("SDP media host cannot be resolved: ", destination.host.c_str());
    return destination;
}
