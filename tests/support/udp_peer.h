// A raw UDP peer on 127.0.0.1 for wire-level tests: sends datagrams and waits
// for the next one with a deadline.
#pragma once

#include <string>

namespace vtest
{
class UdpPeer
{
  public:
    // Binds 127.0.0.1 at port (0: any free port).
    explicit UdpPeer(int port = 0);
    ~UdpPeer();
    UdpPeer(const UdpPeer &) = delete;
    UdpPeer &operator=(const UdpPeer &) = delete;

    bool IsOpen() const { return mFd >= 0; }
    int Port() const { return mPort; }
    bool SendTo(int port, const std::string &bytes);
    // The next datagram within timeoutMs; false when none came.
    bool Receive(std::string &out, int timeoutMs);

  private:
    int mFd = -1;
    int mPort = 0;
};
} // namespace vtest
