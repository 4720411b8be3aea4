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

// The whole "Name: value" line of a header in a SIP message, or "" when the
// message has none.
inline std::string HeaderLine(const std::string &message, const std::string &name)
{
    size_t at = message.find("\r\n" + name + ":");
    if (at == std::string::npos)
        return "";
    size_t end = message.find("\r\n", at + 2);
    return message.substr(at + 2, end - at - 2);
}
} // namespace vtest
