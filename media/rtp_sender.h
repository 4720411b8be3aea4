// Builds and sends the engine's packets: 20 ms audio frames, with the marker
// bit on the first one after silence (RFC 3551 4.1), and comfort-noise
// packets (RFC 3389) while the sink reports silence.
#pragma once

#include "media/rtp_header.h"

#include <cstdint>

class LRtpEngine;

class LRtpSender
{
  public:
    // -63 dBov: the quietest level RFC 3389 can carry short of none.
    static constexpr uint8_t kNoiseLevel = 63;

    explicit LRtpSender(LRtpEngine &engine);

    // The payload buffer the frame is encoded into.
    unsigned char *GetPayload() { return header_.GetPayload(); }
    // Sends a frame of 160 samples already encoded into the payload.
    void WriteData160SampleFrame(uint8_t payloadType, int length);
    // A step of n silent samples: one noise packet at once, one after a
    // further 640 samples, then one a second.
    void WriteSilenceFrame(int n);

  private:
    void SendComfortNoise(int n);

    LRtpEngine &engine_;
    LRtpHeader header_;
    bool inSilence_ = true;
    int32_t noiseCountdown_ = 0;
};
