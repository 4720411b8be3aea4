// IPv4 socket addresses, address classification and the machine's own
// addresses. Addresses are given and returned in host byte order (a.b.c.d is
// a << 24 | b << 16 | c << 8 | d); the stored sockaddr_in keeps the
// operating system's layout (port and address in network order).
#pragma once

#include <cstddef>
#include <cstdint>
#include <netinet/in.h>

class LIPAddressWithPort
{
  public:
    LIPAddressWithPort();
    LIPAddressWithPort(uint32_t address, int port);
    explicit LIPAddressWithPort(const sockaddr_in &address) : m_addr(address) {}

    // Parses "host", "host:port" or "a.b.c.d[:port]", resolving host names;
    // without a port, defaultPort is used. False (and unchanged) when the
    // host does not resolve or the port is not a number in 0..65535.
    bool SetFromText(const char *text, int defaultPort);

    uint32_t GetAddress() const { return ntohl(m_addr.sin_addr.s_addr); }
    void SetAddress(uint32_t address) { m_addr.sin_addr.s_addr = htonl(address); }
    int GetPort() const { return ntohs(m_addr.sin_port); }
    void SetPort(int port) { m_addr.sin_port = htons((uint16_t)port); }

    const sockaddr_in &GetSockAddrIn() const { return m_addr; }
    sockaddr_in &GetSockAddrIn() { return m_addr; }
    const sockaddr *GetSockAddr() const { return (const sockaddr *)&m_addr; }
    sockaddr *GetSockAddr() { return (sockaddr *)&m_addr; }
    static constexpr unsigned GetSockAddrLength() { return sizeof(sockaddr_in); }

    // An address other than 0.0.0.0 and 255.255.255.255.
    bool IsValid() const;
    bool IsPrivate() const;
    bool IsPublic() const { return !IsPrivate(); }
    // Same address and port / same address.
    bool IsSameAs(const LIPAddressWithPort &other) const;
    bool HasSameHostAs(const LIPAddressWithPort &other) const;

    // "%d.%d.%d.%d:%d" and "%d.%d.%d.%d".
    void ToString(char *out, size_t capacity) const;
    void ToHostString(char *out, size_t capacity) const;
    template <size_t N> void ToString(char (&out)[N]) const { ToString(out, N); }
    template <size_t N> void ToHostString(char (&out)[N]) const { ToHostString(out, N); }

  private:
    sockaddr_in m_addr;
};

// Up to 4 resolved addresses of one host name.
class LIPAddressMultiHomed
{
  public:
    static constexpr int MaxAddresses = 4;

    // Resolves "host[:port]"; false when nothing resolves.
    bool SetFromText(const char *text, int defaultPort);
    int GetCount() const { return m_count; }
    const LIPAddressWithPort &Get(int index) const { return m_addresses[index]; }
    bool Add(const LIPAddressWithPort &address);
    bool HasHost(const LIPAddressWithPort &address) const;
    void Clear() { m_count = 0; }

  private:
    LIPAddressWithPort m_addresses[MaxAddresses];
    int m_count = 0;
};

// 10/8, 172.16/12, 192.168/16, 169.254/16 and 127.0/16 (127.0.x.x only).
bool IsIPPrivate(uint32_t address);
// a = 0 or a = 127.
bool IsIPSpecial(uint32_t address);
// The private test on a dotted text; public means not private.
bool LIPIsPrivate(const char *dotted);
bool LIPIsPublic(const char *dotted);
// Parses a dotted text strictly (four decimal octets).
bool LIPParseDotted(const char *dotted, uint32_t &address);
// Splits "host[:port]" without resolving anything; false on an empty host or
// a port that is not a number in 0..65535.
bool LIPSplitHostPort(const char *text, char (&host)[260], int defaultPort, int &port);

// The first interface that is up, neither loopback nor point-to-point, with
// an IPv4 address that is private and not special.
bool GetLocalHostPrivateIP(uint32_t &address);
// Whether address (host order) belongs to one of this machine's interfaces;
// every 127.x.x.x does.
bool IsLocalInterfaceAddress(uint32_t address);
// The addresses of the machine's host name: the first, replaced by each
// later one that is neither private nor special (the last public one wins).
bool GetLocalHostIP(uint32_t &address);
// GetLocalHostIP as "%d.%d.%d.%d" ("" on failure).
bool LIPGetLocalHostIPPublic(char *out, size_t capacity);
