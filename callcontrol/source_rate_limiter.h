// Caps how many datagrams one source address can make the exchange relay
// per second. Requests that are forwarded without authentication (the
// stateless proxy's SUBSCRIBE and NOTIFY) would otherwise let one sender
// make the exchange send as fast as it sends, and more when an extension
// has several contacts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

class LSourceRateLimiter
{
  public:
    // Datagrams per source address and second. A phone that subscribes to
    // the lamps of a whole office at start-up stays well below it.
    static constexpr int kDefaultPerSecond = 100;
    // Sources remembered at once; beyond, new sources share one window.
    static constexpr size_t kMaxSources = 4096;

    explicit LSourceRateLimiter(int perSecond = kDefaultPerSecond) : m_PerSecond(perSecond) {}

    // Counts one request of host (an IPv4 address) at tick (ms). False once
    // the host has used its second; firstRefusal is then true for the first
    // refusal of that second only.
    bool Allow(uint32_t host, uint32_t tick, bool &firstRefusal);
    // Adds the further datagrams an allowed request was relayed as.
    void Charge(uint32_t host, int extra);

  private:
    struct Window {
        uint32_t start = 0;
        int used = 0;
        int refused = 0;
    };
    Window &Find(uint32_t host, uint32_t tick);

    int m_PerSecond;
    std::unordered_map<uint32_t, Window> m_Sources;
    Window m_Overflow;
};
