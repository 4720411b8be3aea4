#include "media/rtp_relay_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/log.h"

LRtpAddress LRtpMakeAddress(uint32_t hostOrderIP, uint16_t port)
{
    LRtpAddress address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(hostOrderIP);
    return address;
}

bool LRtpIsSameAddress(const LRtpAddress &a, const LRtpAddress &b)
{
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

bool LRtpIsSameHost(const LRtpAddress &a, const LRtpAddress &b)
{
    return a.sin_addr.s_addr == b.sin_addr.s_addr;
}

const char *LRtpFormatAddress(const LRtpAddress &address, char *out)
{
    uint32_t ip = ntohl(address.sin_addr.s_addr);
    snprintf(out, 22, "%d.%d.%d.%d:%d", (int)(ip >> 24), (int)((ip >> 16) & 255),
             (int)((ip >> 8) & 255), (int)(ip & 255), (int)ntohs(address.sin_port));
    return out;
}

std::string LRtpFormatIP(uint32_t ip)
{
    char text[16];
    snprintf(text, sizeof text, "%d.%d.%d.%d", (int)(ip >> 24), (int)((ip >> 16) & 255),
             (int)((ip >> 8) & 255), (int)(ip & 255));
    return text;
}

bool LIPSocketUDPQoSHigh::BindToListenPort(uint16_t port, bool &inUse)
{
    Close();
    inUse = false;
    if (port != 0 && !held_.Take(port)) {
        inUse = true;
        return false;
    }
    port_ = port;
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) {
        LOGERRORNUM("LIPSocketUDP: socket FAILED: ", errno);
        Close();
        return false;
    }
    LRtpAddress any = LRtpMakeAddress(INADDR_ANY, port);
    if (bind(fd_, (const sockaddr *)&any, sizeof any) != 0) {
        inUse = errno == EADDRINUSE;
        Close();
        return false;
    }
    int tos = kTypeOfService;
    setsockopt(fd_, IPPROTO_IP, IP_TOS, &tos, sizeof tos);
    bound_ = true;
    return true;
}

void LIPSocketUDPQoSHigh::Close()
{
    if (fd_ >= 0)
        close(fd_);
    if (port_ != 0)
        held_.Release(port_);
    fd_ = -1;
    port_ = 0;
    bound_ = false;
}

int LIPSocketUDPQoSHigh::ReceivePacket(void *buffer, int size, LRtpAddress &source)
{
    socklen_t length = sizeof source;
    ssize_t got = recvfrom(fd_, buffer, (size_t)size, 0, (sockaddr *)&source, &length);
    if (got >= 0)
        return (int)got;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return kNothingWaiting;
    // ICMP port-unreachable from an earlier send surfaces here; it says
    // nothing about this socket, so it only ends this round of draining.
    LOGERRORNUM("LIPSocketUDP::ReceivePacket FAILED: ", errno);
    return kReceiveFailed;
}

bool LIPSocketUDPQoSHigh::SendPacket(const void *data, int length, const LRtpAddress &destination)
{
    if (fd_ < 0)
        return false;
    return sendto(fd_, data, (size_t)length, MSG_DONTWAIT, (const sockaddr *)&destination,
                  sizeof destination) == length;
}
