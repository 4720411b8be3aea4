// A raw UDP peer on a loopback address for wire-level tests: sends datagrams
// and waits for the next one with a deadline.
#pragma once

#include <cstdint>
#include <netinet/in.h>
#include <string>

namespace vtest
{
// An IPv4 socket address from its dotted text and port.
sockaddr_in Address(const char *ip, int port);

class UdpPeer
{
  public:
    // Binds ip at port (0: any free port), inside the named network
    // namespace (under /run/netns) when netns is given; not open when the
    // bind fails.
    explicit UdpPeer(int port = 0, const char *ip = "127.0.0.1", const char *netns = nullptr);
    ~UdpPeer();
    UdpPeer(const UdpPeer &) = delete;
    UdpPeer &operator=(const UdpPeer &) = delete;

    bool IsOpen() const { return mFd >= 0; }
    int Fd() const { return mFd; }
    int Port() const { return mPort; }
    bool SendTo(int port, const std::string &bytes, const char *ip = "127.0.0.1");
    // The next datagram within timeoutMs and the port and address it came
    // from; false when none came.
    bool Receive(std::string &out, int timeoutMs, int *fromPort = nullptr,
                 std::string *fromIp = nullptr);
    // Kernel receive times (SO_TIMESTAMPNS) and a receive buffer of
    // bufferBytes, for tests that measure pacing or hold seconds of traffic.
    void TimeArrivals(int bufferBytes);
    // Receive with the kernel's receive time in microseconds (TimeArrivals
    // first), so that a late reader does not shift the times.
    bool ReceiveTimed(std::string &out, int timeoutMs, int64_t &arrivalUs, int *fromPort = nullptr);
    // The next datagram's text, or "<nothing>".
    std::string ReceiveText(int timeoutMs = 2000)
    {
        std::string out;
        return Receive(out, timeoutMs) ? out : "<nothing>";
    }

  private:
    void Bind(int port, const char *ip);

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
