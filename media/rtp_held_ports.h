// The RTP ports the exchange's own sockets hold, so that a search for a free
// port past the ports of many live calls costs one bind, not one per call.
// Ports taken by other programs are still found by the bind itself. One per
// exchange, owned by its media context.
#pragma once

#include <bitset>
#include <cstdint>
#include <mutex>

class LRtpHeldPorts
{
  public:
    // False when one of our sockets holds port already.
    bool Take(uint16_t port)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (held_.test(port))
            return false;
        held_.set(port);
        return true;
    }
    void Release(uint16_t port)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held_.reset(port);
    }

  private:
    std::mutex mutex_;
    std::bitset<65536> held_;
};
