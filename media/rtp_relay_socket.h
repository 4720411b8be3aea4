// The UDP socket of one relay port and the IPv4 address form the relay keeps
// (the operating system's own, so a receive writes the source straight in).
#pragma once

#include "media/rtp_held_ports.h"

#include <cstdint>
#include <netinet/in.h>
#include <string>

using LRtpAddress = sockaddr_in;

LRtpAddress LRtpMakeAddress(uint32_t hostOrderIP, uint16_t port);
bool LRtpIsSameAddress(const LRtpAddress &a, const LRtpAddress &b);
bool LRtpIsSameHost(const LRtpAddress &a, const LRtpAddress &b);
// "%d.%d.%d.%d:%d"; out needs 22 characters.
const char *LRtpFormatAddress(const LRtpAddress &address, char *out);
std::string LRtpFormatIP(uint32_t hostOrderIP);

// A non-blocking, close-on-exec UDP socket marked for expedited forwarding
// (type of service 184, DSCP EF) once bound.
class LIPSocketUDPQoSHigh
{
  public:
    static constexpr int kTypeOfService = 184;
    // What ReceivePacket returns when no datagram is waiting.
    static constexpr int kNothingWaiting = -1;
    static constexpr int kReceiveFailed = -2;

    explicit LIPSocketUDPQoSHigh(LRtpHeldPorts &held) : held_(held) {}
    ~LIPSocketUDPQoSHigh() { Close(); }
    LIPSocketUDPQoSHigh(const LIPSocketUDPQoSHigh &) = delete;
    LIPSocketUDPQoSHigh &operator=(const LIPSocketUDPQoSHigh &) = delete;

    // Closes any previous descriptor and binds a new one to port on all
    // local addresses. inUse tells a taken port from other failures. A port
    // another socket of this process holds is reported in use without a
    // system call, so searching for a free port past the ports of many live
    // calls costs one bind, not one per call.
    bool BindToListenPort(uint16_t port, bool &inUse);
    void Close();
    bool IsBound() const { return bound_; }
    int GetHandle() const { return fd_; }

    // Length of the datagram read, kNothingWaiting or kReceiveFailed (logged).
    int ReceivePacket(void *buffer, int size, LRtpAddress &source);
    // Errors are the caller's to ignore: a lost datagram is lost.
    bool SendPacket(const void *data, int length, const LRtpAddress &destination);

  private:
    LRtpHeldPorts &held_;
    int fd_ = -1;
    bool bound_ = false;
    uint16_t port_ = 0;
};
