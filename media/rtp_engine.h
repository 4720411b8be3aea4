// The exchange's own RTP endpoint: one even UDP port, its SDP, a sending
// side that a player writes audio into, and a receive thread that reorders,
// decodes and conceals what the peer sends, detects its key presses, follows
// its source address (latching) and keeps the NAT binding open.
#pragma once

#include "media/rtp_dtmf.h"
#include "media/rtp_relay_connection.h"
#include "media/rtp_relay_socket.h"
#include "media/rtp_send_sequencer.h"
#include "media/rtp_stream_decoder.h"
#include "media/sdp_session.h"
#include "media/soundsink.h"
#include "platform/clock.h"
#include "platform/lock.h"
#include "platform/thread.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Fills in the public address of the bound port (NAT traversal); empty: the
// private address is the public one.
using LRtpPublicAddressFunction = std::function<void(LRtpPublicAddressQuery &)>;

// An IPv4 address and port read and written as one word: the receive
// thread latches it while senders read it.
class LRtpSharedAddress
{
  public:
    void Store(const LRtpAddress &address);
    LRtpAddress Load() const;
    bool IsValid() const { return (value_.load() >> 16) != 0; }

  private:
    std::atomic<uint64_t> value_{0}; // host-order IP << 16 | port
};

class LRtpEngine : public LThread, private LRtpStreamTarget
{
  public:
    static constexpr uint8_t kNoPayload = 255;
    static constexpr uint32_t kKeepAliveMs = 55000;

    // clock runs the play-out, the send pacing, the new-stream window and
    // the keep-alive.
    LRtpEngine(LRtpDTMFNotify &notify, LSDPSettings &sdpSettings, const LClock &clock,
               LRtpPublicAddressFunction publicAddress = {});
    ~LRtpEngine() override;

    // Stops any run, binds a new even port from "RTPPortBase" and learns its
    // public address. False (logged) when no port could be bound.
    bool Initialize();
    void CreateOfferSDP(std::string &out, bool sendOnly);
    // False when the offer has no codec in common (nothing written).
    bool CreateAnswerSDP(std::string &out, std::string_view offerText, bool sendOnly);
    bool ReceiveAnswerSDP(std::string_view answerText);
    void Start();
    void Stop();
    // After a renegotiation: a new stream (SSRC) is taken for 5 s.
    void Restart();
    // A sink writing to the peer; flush first lets most queued audio play.
    LSoundSink OpenSoundSink(bool flush);
    void SendRtpPacket(const LRtpHeader &header, int length);
    void SetReceiveSink(const LSoundSink &sink);

    const std::string &GetLocalIP() const { return localIP_; }
    uint16_t GetLocalPort() const { return localPort_; }
    const std::string &GetPublicIP() const { return publicIP_; }
    uint16_t GetPublicPort() const { return publicPort_; }
    uint8_t GetAudioPayLoadType() const { return audioPayload_.load(); }
    uint8_t GetComfortNoisePayLoadType() const override { return comfortNoisePayload_.load(); }
    uint8_t GetG72632PayLoadType() const override { return g72632Payload_.load(); }
    uint8_t GetTelephoneEventPayLoadType() const override;
    LRTPSendSequencer &GetSequencer() { return sequencer_; }
    LRtpAddress GetRemoteAddress() const { return remote_.Load(); }
    // Datagrams read by the receive thread, for tests and figures.
    uint64_t GetReceivedCount() const { return received_.load(); }

  protected:
    void ThreadFunction() override;

  private:
    bool BindEvenPort(uint16_t from);
    void ResolvePublicAddress();
    void InitializeSDP();
    void ApplySDP();
    void DrainSocket();
    void KeepAlive();
    uint32_t IdleWaitMs() const;
    void ReceiveAudio(const int *samples, int count) override;
    void HandleTelephoneEvent(const LRtpHeader &packet) override;

    const LClock &clock_;
    LRTPSendSequencer sequencer_;
    LRtpDTMF dtmf_;
    LSDPSession session_;
    LRtpPublicAddressFunction publicAddress_;
    std::string localIP_;
    uint16_t localPort_ = 0;
    std::string publicIP_;
    uint16_t publicPort_ = 0;
    LIPSocketUDPQoSHigh socket_;
    std::atomic<uint8_t> audioPayload_{kNoPayload};
    std::atomic<uint8_t> comfortNoisePayload_{kNoPayload};
    LRtpSharedAddress remote_;
    std::atomic<bool> remoteDirectionActive_{false};
    std::atomic<uint32_t> lastSendTime_{0};
    std::atomic<bool> remoteHold_{false};
    std::atomic<uint8_t> g72632Payload_{kNoPayload};
    LSoundSink receiveSink_;
    LLockObject sinkLock_;
    std::atomic<bool> restartPending_{false};
    std::atomic<uint64_t> received_{0};
};
