#include "udp_peer.h"

#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace vtest
{
sockaddr_in Address(const char *ip, int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons((uint16_t)port);
    inet_pton(AF_INET, ip, &address.sin_addr);
    return address;
}

UdpPeer::UdpPeer(int port, const char *ip, const char *netns)
{
    if (!netns) {
        Bind(port, ip);
        return;
    }
    // A socket stays in the network namespace it was made in: it is made on
    // a thread that enters the namespace and ends.
    std::thread([&] {
        int nsFd = open((std::string("/run/netns/") + netns).c_str(), O_RDONLY | O_CLOEXEC);
        if (nsFd >= 0 && setns(nsFd, CLONE_NEWNET) == 0)
            Bind(port, ip);
        if (nsFd >= 0)
            close(nsFd);
    }).join();
}

void UdpPeer::Bind(int port, const char *ip)
{
    mFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Address(ip, port);
    socklen_t size = sizeof(address);
    if (mFd < 0 || bind(mFd, (sockaddr *)&address, size) != 0 ||
        getsockname(mFd, (sockaddr *)&address, &size) != 0) {
        if (mFd >= 0)
            close(mFd);
        mFd = -1;
        return;
    }
    mPort = ntohs(address.sin_port);
}

UdpPeer::~UdpPeer()
{
    if (mFd >= 0)
        close(mFd);
}

bool UdpPeer::SendTo(int port, const std::string &bytes, const char *ip)
{
    sockaddr_in address = Address(ip, port);
    return sendto(mFd, bytes.data(), bytes.size(), 0, (sockaddr *)&address, sizeof(address)) ==
           (ssize_t)bytes.size();
}

bool UdpPeer::Receive(std::string &out, int timeoutMs, int *fromPort, std::string *fromIp)
{
    pollfd waiter{mFd, POLLIN, 0};
    if (poll(&waiter, 1, timeoutMs) != 1)
        return false;
    char buffer[65536];
    sockaddr_in from{};
    socklen_t size = sizeof(from);
    ssize_t got = recvfrom(mFd, buffer, sizeof(buffer), 0, (sockaddr *)&from, &size);
    if (got < 0)
        return false;
    out.assign(buffer, (size_t)got);
    if (fromPort)
        *fromPort = ntohs(from.sin_port);
    char ip[INET_ADDRSTRLEN] = "";
    if (fromIp && inet_ntop(AF_INET, &from.sin_addr, ip, sizeof ip))
        *fromIp = ip;
    return true;
}

void UdpPeer::TimeArrivals(int bufferBytes)
{
    int on = 1;
    setsockopt(mFd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof(bufferBytes));
    setsockopt(mFd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof(on));
}

bool UdpPeer::ReceiveTimed(std::string &out, int timeoutMs, int64_t &arrivalUs, int *fromPort)
{
    pollfd waiter{mFd, POLLIN, 0};
    if (poll(&waiter, 1, timeoutMs) != 1)
        return false;
    char buffer[65536];
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    sockaddr_in from{};
    iovec io{buffer, sizeof(buffer)};
    msghdr message{&from, sizeof(from), &io, 1, control, sizeof(control), 0};
    ssize_t got = recvmsg(mFd, &message, 0);
    cmsghdr *c = CMSG_FIRSTHDR(&message);
    if (got < 0 || !c || c->cmsg_type != SCM_TIMESTAMPNS)
        return false;
    timespec at;
    memcpy(&at, CMSG_DATA(c), sizeof(at));
    arrivalUs = at.tv_sec * 1000000LL + at.tv_nsec / 1000;
    out.assign(buffer, (size_t)got);
    if (fromPort)
        *fromPort = ntohs(from.sin_port);
    return true;
}
} // namespace vtest
