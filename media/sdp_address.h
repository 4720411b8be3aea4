// Turning SDP connection addresses into media destinations. Only IPv4.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Where media for one endpoint goes. `valid` is false when the SDP names no
// usable destination: 0.0.0.0 (the RFC 2543 hold form), a host that cannot be
// resolved, or port 0. Nothing may ever be sent to an invalid destination:
// on Linux 0.0.0.0 reaches the local host.
struct LSDPMediaDestination {
    std::string host; // as written in the SDP
    uint32_t ip = 0;  // host byte order; 0 when unresolved
    uint16_t port = 0;
    bool valid = false;
};

// Looks up a host name an SDP carries instead of a dotted address. The
// running exchange asks the system; tests answer without waiting on DNS.
class LSDPHostResolver
{
  public:
    // False when the name cannot be resolved.
    virtual bool ResolveHostName(const std::string &name, uint32_t &ip) = 0;

  protected:
    ~LSDPHostResolver() = default;
};

// getaddrinfo, IPv4 only.
class LSDPSystemResolver : public LSDPHostResolver
{
  public:
    bool ResolveHostName(const std::string &name, uint32_t &ip) override;
};

// Reads a dotted address; false (ip 0) for anything else.
bool LSDPParseDotted(std::string_view host, uint32_t &ip);
// Resolves a dotted address or a host name; false (ip 0) when it cannot.
bool LSDPResolveHost(std::string_view host, uint32_t &ip, LSDPHostResolver &resolver);

// 10/8, 172.16/12, 192.168/16, 169.254/16 and 127.0/16.
bool LSDPIsPrivateIP(uint32_t ip);
// A host that cannot be resolved reads as 0.0.0.0, which counts as public.
bool LSDPIsPrivateHost(std::string_view host, LSDPHostResolver &resolver);
bool LSDPIsPublicHost(std::string_view host, LSDPHostResolver &resolver);

LSDPMediaDestination LSDPMakeDestination(std::string_view host, uint16_t port,
                                         LSDPHostResolver &resolver);
