// Loopback UDP phones and a temporary settings root for the relay and
// recorder tests.
#pragma once

#include "config/settings.h"
#include "platform/random.h"
#include "support/log_catcher.h"
#include "support/process.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// A phone's RTP socket on a loopback address (127.0.0.0/8 is all local).
class UdpPeer
{
  public:
    explicit UdpPeer(const char *ip = "127.0.0.1", uint16_t port = 0)
    {
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = Address(ip, port);
        bind(fd_, (sockaddr *)&address, sizeof address);
        socklen_t length = sizeof address_;
        getsockname(fd_, (sockaddr *)&address_, &length);
    }
    ~UdpPeer() { close(fd_); }
    UdpPeer(const UdpPeer &) = delete;
    UdpPeer &operator=(const UdpPeer &) = delete;

    static sockaddr_in Address(const char *ip, uint16_t port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        inet_pton(AF_INET, ip, &address.sin_addr);
        return address;
    }
    uint16_t Port() const { return ntohs(address_.sin_port); }
    bool SendTo(uint16_t port, const std::string &data, const char *ip = "127.0.0.1")
    {
        sockaddr_in to = Address(ip, port);
        return sendto(fd_, data.data(), data.size(), 0, (sockaddr *)&to, sizeof to) ==
               (ssize_t)data.size();
    }
    // The next datagram within ms, with the port it came from; false if none.
    bool Receive(std::string &data, uint16_t &fromPort, int ms = 2000)
    {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, ms) != 1)
            return false;
        char buffer[5000];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        ssize_t got = recvfrom(fd_, buffer, sizeof buffer, 0, (sockaddr *)&from, &length);
        if (got < 0)
            return false;
        data.assign(buffer, (size_t)got);
        fromPort = ntohs(from.sin_port);
        return true;
    }
    std::string ReceiveText(int ms = 2000)
    {
        std::string data;
        uint16_t port;
        return Receive(data, port, ms) ? data : std::string("<nothing>");
    }
    int Fd() const { return fd_; }

  private:
    int fd_ = -1;
    sockaddr_in address_{};
};

using vtest::LogCatcher;

// VELA_ROOT in a fresh folder, removed afterwards.
class TempSettingsRoot
{
  public:
    TempSettingsRoot()
    {
        setenv("VELA_ROOT", root_.Path().c_str(), 1);
        setenv("HOME", (root_.Path() + "/home").c_str(), 1);
        char folder[LPathSize];
        LCreateFolder(LSettingsGetSharedFolder(folder));
    }
    ~TempSettingsRoot() { unsetenv("VELA_ROOT"); }

  private:
    vtest::TempDir root_{"vela-rtp"};
};

// An even port base unlikely to collide with other tests running at once:
// below 32768, where the kernel's range for sockets bound without a port
// begins (a test uses at most a few hundred ports above its base).
inline uint16_t RandomPortBase()
{
    return (uint16_t)(20000 + 2 * LRandomBelow(6000));
}

// A random base of which count ports are free to bind now, for tests that
// expect exact port numbers.
inline uint16_t FreePortBase(int count)
{
    for (;;) {
        uint16_t base = RandomPortBase();
        int n = 0;
        while (n < count && UdpPeer("0.0.0.0", (uint16_t)(base + n)).Port() == base + n)
            n++;
        if (n == count)
            return base;
    }
}
