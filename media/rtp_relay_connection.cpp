#include "media/rtp_relay_connection.h"

#include <arpa/inet.h>
#include <atomic>
#include <ifaddrs.h>
#include <mutex>
#include <net/if.h>

#include "config/pbx_global_settings.h"
#include "media/sdp_address.h"
#include "platform/ipaddress.h"
#include "platform/log.h"
#include "platform/tick.h"

void LRtpDefaultPublicAddress(LRtpPublicAddressQuery &query)
{
    query.publicIP = query.privateIP;
    query.publicPort = query.localPort;
    uint32_t ip = 0;
    LSDPParseDotted(query.privateIP, ip); // the interface's own address
    query.keepAlive = LSDPIsPrivateIP(ip);
}

namespace
{
std::string ReadLocalPrivateIP()
{
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return "127.0.0.1";
    uint32_t chosen = 0, first = 0;
    for (ifaddrs *i = list; i != nullptr && chosen == 0; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET)
            continue;
        if (!(i->ifa_flags & IFF_UP) || (i->ifa_flags & (IFF_LOOPBACK | IFF_POINTOPOINT)))
            continue;
        uint32_t ip = ntohl(((const sockaddr_in *)i->ifa_addr)->sin_addr.s_addr);
        uint32_t a = ip >> 24;
        if (first == 0)
            first = ip;
        if (LSDPIsPrivateIP(ip) && a != 0 && a != 127)
            chosen = ip;
    }
    freeifaddrs(list);
    if (chosen == 0)
        chosen = first != 0 ? first : 0x7F000001u;
    return LRtpFormatIP(chosen);
}
} // namespace

// Every relay connection asks; listing the interfaces is two netlink dumps,
// so the answer is kept for a short while. A changed address (a new DHCP
// lease) is still seen by the calls set up a moment later.
std::string LRtpGetLocalPrivateIP()
{
    static constexpr uint32_t kKeepMs = 2000;
    static std::mutex lock;
    static std::string cached;
    static uint32_t readAt = 0;
    std::lock_guard<std::mutex> hold(lock);
    uint32_t now = GetTickCount();
    if (cached.empty() || LTickInterval(now, readAt) >= kKeepMs) {
        cached = ReadLocalPrivateIP();
        readAt = now;
    }
    return cached;
}

static constexpr uint16_t kPortLimit = 65534;

LRtpRelayConnection::LRtpRelayConnection(uint16_t base, LSDPSettings &media)
    : media_(media), privateIP_(LRtpGetLocalPrivateIP()), localPort_((uint16_t)(base & ~1u)),
      publicIP_(privateIP_), socket_(media.GetHeldPorts())
{
    Bind(localPort_);
    publicPort_ = localPort_;
}

bool LRtpRelayConnection::Bind(uint16_t port)
{
    privatePortHandedOut_ = false;
    bool inUse = true;
    for (localPort_ = port; localPort_ < kPortLimit; localPort_ += 2) {
        if (socket_.BindToListenPort(localPort_, inUse))
            return true;
        if (!inUse)
            break;
    }
    if (inUse)
        LOGERRORNUM("Rtp Relay: no free even port from ", port);
    else
        LOGERRORNUM("Rtp Relay: cannot bind port ", localPort_);
    socket_.Close();
    return false;
}

void LRtpRelayConnection::ConnectTo(const LSDPMediaDestination &destination, bool latch)
{
    destinationValid_ = destination.valid;
    remote_ = LRtpMakeAddress(destination.valid ? destination.ip : 0, destination.port);
    sdpAddress_ = remote_;
    sdpTrusted_ = destination.valid && destination.ip != 0 && !IsIPPrivate(destination.ip) &&
                  publicIP_ != LRtpFormatIP(destination.ip);
    latch_ = latch;
    ResetLatch();
}

bool LRtpRelayConnection::AcceptSource(const LRtpAddress &source, const uint8_t *data, int length)
{
    if (!latch_)
        return true;
    // Once latched, only a port change from the same host is followed (a NAT
    // rebinding); anyone else spraying the port must not steal the stream
    // (RTP bleed).
    if (latched_ && !LRtpIsSameHost(source, remote_))
        return false;
    if (!latched_ && !LRtpIsSameHost(source, sdpAddress_) &&
        (sdpTrusted_ || !probe_.Offer(source, data, length)))
        return false;
    remote_ = source;
    latched_ = true;
    destinationValid_ = true;
    return true;
}

uint16_t LRtpRelayConnection::GetLocalPrivatePort()
{
    privatePortHandedOut_ = true;
    return localPort_;
}

void LRtpRelayConnection::ResolvePublicIP()
{
    if (publicResolved_)
        return;
    for (int attempts = 0;;) {
        uint16_t base = (uint16_t)LPBXSettings::SipRtpPortBase.Get();
        uint16_t staticBase = (uint16_t)LPBXSettings::SipStaticRtpPortBase.Get();
        LRtpPublicAddressQuery query{privateIP_, localPort_, socket_.GetHandle(), base,
                                     staticBase, publicIP_,  publicPort_,         keepAlive_};
        media_.ResolvePublicAddress(query);
        if ((publicPort_ & 1) == 0 || privatePortHandedOut_)
            break;
        if (!LPBXSettings::SipStun.Get()) {
            LOGWARN("Public RTP port is not an even number (it should be).");
            LOGWARN("Check your Network Settings.");
            break;
        }
        socket_.Close();
        if (++attempts == 20) {
            LOGERROR("Something is wrong with the NAT device");
            LOGERROR("It always assigns 'odd' ports which are forbidden for Rtp");
            LOGERROR("Check your NAT or turn off STUN.");
        }
        // Reopen before giving up, so the connection never ends unbound.
        if (!Bind((uint16_t)(localPort_ + 2)) || attempts > 100)
            break;
    }
    publicResolved_ = true;
}

std::string LRtpRelayConnection::GetLocalPublicIP()
{
    ResolvePublicIP();
    return publicIP_;
}

uint16_t LRtpRelayConnection::GetLocalPublicPort()
{
    ResolvePublicIP();
    return publicPort_;
}
