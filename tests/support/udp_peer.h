// A raw UDP peer on a loopback address for wire-level tests: sends datagrams
// and waits for the next one with a deadline.
#pragma once

#include <netinet/in.h>
#include <string>

namespace vtest
{
// An IPv4 socket address from its dotted text and port.
sockaddr_in Address(const char *ip, int port);

class UdpPeer
{
  public:
    // Binds ip at port (0: any free port); not open when the bind fails.
    explicit UdpPeer(int port = 0, const char *ip = "127.0.0.1");
    ~UdpPeer();
    UdpPeer(const UdpPeer &) = delete;
    UdpPeer &operator=(const UdpPeer &) = delete;

    bool IsOpen() const { return mFd >= 0; }
    int Fd() const { return mFd; }
    int Port() const { return mPort; }
    bool SendTo(int port, const std::string &bytes, const char *ip = "127.0.0.1");
    // The next datagram within timeoutMs and the port it came from; false
    // when none came.
    bool Receive(std::string &out, int timeoutMs, int *fromPort = nullptr);
    // The next datagram's text, or "<nothing>".
    std::string ReceiveText(int timeoutMs = 2000)
    {
        std::string out;
        return Receive(out, timeoutMs) ? out : "<nothing>";
    }

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
