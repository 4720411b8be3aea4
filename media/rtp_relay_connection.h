// One side of an RTP relay: the even UDP port one endpoint sends to and
// receives from (symmetric RTP), the endpoint's address, and the public
// address under which the port is reached from outside.
#pragma once

#include "media/rtp_latch.h"
#include "media/rtp_relay_socket.h"
#include "media/sdp_relay.h"
#include "media/sdp_settings.h"

#include <cstdint>
#include <functional>
#include <string>

// Fills in the public address of a bound relay port. keepAlive comes back
// true when the mapping is not known to stay open by itself (learnt through
// STUN or not learnt at all). The media context (LSDPSettings) supplies it:
// in the service the NAT traversal's, in tests mostly the default, which
// keeps the private address.
struct LRtpPublicAddressQuery {
    const std::string &privateIP;
    uint16_t localPort;
    int socket; // STUN queries go out through it, so the mapping is its own
    uint16_t rtpPortBase;
    uint16_t staticRtpPortBase;
    std::string &publicIP;
    uint16_t &publicPort;
    bool &keepAlive;
};
using LRtpPublicAddressResolver = std::function<void(LRtpPublicAddressQuery &query)>;
void LRtpDefaultPublicAddress(LRtpPublicAddressQuery &query);

// The host's LAN address: the first interface that is up, neither loopback
// nor point-to-point, with a private IPv4 address; else its first IPv4
// address; else 127.0.0.1.
std::string LRtpGetLocalPrivateIP();

class LRtpRelayConnection : public LSDPRelayConnection
{
  public:
    // Binds the lowest free even port at or above base (rounded down to even)
    // and below 65534; media resolves its public address.
    LRtpRelayConnection(uint16_t base, LSDPSettings &media);

    bool IsBound() const { return socket_.IsBound(); }
    LIPSocketUDPQoSHigh &GetSocket() { return socket_; }
    // The port, without marking it handed out.
    uint16_t GetBoundPort() const { return localPort_; }

    void ConnectTo(const LSDPMediaDestination &destination, bool latch) override;
    void ResolvePublicIP() override;
    std::string GetLocalPrivateIP() override { return privateIP_; }
    uint16_t GetLocalPrivatePort() override;
    std::string GetLocalPublicIP() override;
    uint16_t GetLocalPublicPort() override;

    bool IsKeepAlive() const { return keepAlive_; }
    bool IsLatching() const { return latch_; }
    bool HasDestination() const { return destinationValid_; }
    const LRtpAddress &GetRemoteAddress() const { return remote_; }

    // Decides whether a packet (data, length) from source comes from this
    // connection's endpoint, latching to it as needed; false means drop it.
    // The first latch takes a source at the SDP address at once; when that
    // address is private, absent or the exchange's own public one, a source
    // proves itself with a run of consecutive RTP packets; other sources are
    // never taken when the SDP address is a public one of its own.
    bool AcceptSource(const LRtpAddress &source, const uint8_t *data, int length);
    // A new run latches afresh.
    void ResetLatch()
    {
        latched_ = false;
        probe_.Reset();
    }

  private:
    bool Bind(uint16_t port);

    LSDPSettings &media_;
    std::string privateIP_;
    uint16_t localPort_ = 0;
    std::string publicIP_;
    uint16_t publicPort_ = 0;
    bool publicResolved_ = false;
    bool keepAlive_ = false;
    bool privatePortHandedOut_ = false;
    LIPSocketUDPQoSHigh socket_;
    LRtpAddress remote_{};
    bool destinationValid_ = false;
    bool latch_ = false;
    bool latched_ = false;
    LRtpAddress sdpAddress_{};
    bool sdpTrusted_ = false; // a public address that is not ours
    LRtpLatchProbe probe_;
};
