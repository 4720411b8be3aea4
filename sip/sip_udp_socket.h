// The SIP engine's UDP socket: bind with "port in use" told apart from other
// failures (the engine then tries the next port), datagram send and a
// non-blocking receive for draining.
#pragma once

#include "platform/ipaddress.h"

#include <cstddef>

enum class LSipBindResult { Bound, PortInUse, Failed };

class LIPSocketUDP
{
  public:
    LIPSocketUDP() = default;
    ~LIPSocketUDP() { Close(); }
    LIPSocketUDP(const LIPSocketUDP &) = delete;
    LIPSocketUDP &operator=(const LIPSocketUDP &) = delete;

    // Binds every local address at port (closing any earlier socket).
    LSipBindResult Bind(int port);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    int GetHandle() const { return m_fd; }

    // One datagram; errors are not reported (UDP loses packets anyway).
    void SendTo(const LIPAddressWithPort &to, const void *bytes, size_t length) const;
    // One waiting datagram into buffer (a longer one is cut to capacity);
    // -1 when nothing is waiting.
    long ReceiveFrom(void *buffer, size_t capacity, LIPAddressWithPort &from) const;

  private:
    int m_fd = -1;
};
