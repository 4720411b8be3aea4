// The RTP relay of one call: two even UDP ports, one per endpoint, served
// while it runs by the exchange's forwarding loop, which copies every
// datagram from one endpoint to the other without looking inside, optionally
// feeding the call recorder.
#pragma once

#include "media/recorder_record.h"
#include "media/rtp_header.h"
#include "media/rtp_relay_connection.h"
#include "media/rtp_relay_loop.h"
#include "media/sdp_relay.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class LRtpRelay : public LSDPRelay, private LRtpRelayLoopClient
{
  public:
    using Connection = LRtpRelayConnection;
    // Quiet NAT bindings are refreshed this often.
    static constexpr uint32_t kKeepAliveMs = 49000;

    // Binds A, then B, from the setting "RTPPortBase" (default 8000). media
    // resolves the ports' public addresses, takes the trace and runs the
    // forwarding loop.
    explicit LRtpRelay(LSDPSettings &media);
    LRtpRelay(uint16_t portBase, uint32_t keepAliveMs, LSDPSettings &media);
    ~LRtpRelay() override;

    bool IsBound() const { return a_.IsBound() && b_.IsBound(); }
    Connection &GetA() { return a_; }
    Connection &GetB() { return b_; }
    LSDPRelayConnection &GetConnectionA() override { return a_; }
    LSDPRelayConnection &GetConnectionB() override { return b_; }

    void Start(const std::string &recorderFile, uint8_t g72632PayloadType) override;
    // Forwarding has ended once it returns.
    void Stop() override;

    // Datagrams forwarded and refused since construction, for tests and load
    // figures; only the forwarding loop writes them.
    uint64_t GetForwarded() const { return forwarded_.load(std::memory_order_relaxed); }
    uint64_t GetDropped() const { return dropped_.load(std::memory_order_relaxed); }

  private:
    void OnReadable(bool fromA, LRtpRelayBatch &batch) override;
    void OnQuiet() override { SendKeepAlives(); }
    void SendKeepAlives();
    void Forward(Connection &from, Connection &to, bool fromA, LRtpHeader &packet, int length,
                 const LRtpAddress &source);

    LSDPSettings &media_;
    Connection a_;
    Connection b_;
    const uint32_t keepAliveMs_;
    std::unique_ptr<LRtpRecord> recorder_;
    int loopId_ = -1; // while running
    std::atomic<uint64_t> forwarded_{0};
    std::atomic<uint64_t> dropped_{0};
};

// A relay for the mediator, or nullptr (logged) when its ports cannot both
// be bound: the call then goes on without relay, and an unbound port is
// never advertised.
std::unique_ptr<LSDPRelay> LRtpRelayCreate(LSDPSettings &media);
