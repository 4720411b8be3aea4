// Turns the reordered packets of one stream into a continuous 8000 Hz
// stream: decodes the payload, fills gaps with concealment or comfort noise,
// and keeps about 125 ms of audio ahead of real time on a play-out clock.
#pragma once

#include "media/codecs/g726.h"
#include "media/codecs/gsm.h"
#include "media/rtp_comfort_noise.h"
#include "media/rtp_header.h"
#include "media/rtp_loss_synth.h"
#include "platform/clock.h"

#include <cstdint>

// What the decoder feeds: the engine's receive sink and DTMF part.
class LRtpStreamTarget
{
  public:
    static constexpr uint8_t kNoPayload = 255;
    virtual ~LRtpStreamTarget() = default;
    virtual void ReceiveAudio(const int *samples, int count) = 0;
    virtual void HandleTelephoneEvent(const LRtpHeader &packet) = 0;
    virtual uint8_t GetComfortNoisePayLoadType() const = 0;
    virtual uint8_t GetG72632PayLoadType() const = 0;
    virtual uint8_t GetTelephoneEventPayLoadType() const = 0;
};

class LRtpStreamDecoder
{
  public:
    static constexpr int kIdealAheadMs = 125;

    // The play-out clock runs on clock.
    LRtpStreamDecoder(LRtpStreamTarget &target, const LClock &clock);

    // skipped: packets before this one were given up as lost.
    void HandlePacketReceived(const LRtpHeader &packet, bool skipped);
    // Called when no packet is due; returns how long to wait for one (ms).
    int HandleNoPacketsReceived();
    // How long a missing packet is still waited for before it is skipped.
    int GetTimeToSkipPacketMS() { return GetTimeAhead() - (silence_ ? 10 : 50); }
    // Milliseconds of audio handed on beyond real time (rebases the clock
    // when it fell 200 ms behind).
    int GetTimeAhead();
    bool IsSilenceMode() const { return silence_; }

  private:
    static constexpr int kBlock = 8192;
    void Decode(uint8_t payloadType, const unsigned char *payload, int length);
    void WriteAudio(int *samples, int count);
    void WriteSilence(int count);
    void WriteSynth(int count);
    void HandOn(const int *samples, int count);

    LRtpStreamTarget &target_;
    const LClock &clock_;
    LRtpPacketLossSynth synth_;
    LRtpComfortNoise noise_;
    LGSMDecoder gsm_;
    LG726 g726_;
    bool ssrcKnown_ = false;
    uint32_t expectedTimeStamp_ = 0;
    uint32_t ssrc_ = 0;
    uint32_t clockBase_;
    uint32_t written_ = 0;
    bool silence_ = true;
    const LRtpHeader *current_ = nullptr; // the packet being decoded
    int buffer_[kBlock];
};
