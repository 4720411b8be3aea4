// The sink a player writes audio into: cuts it into 20 ms frames, encodes
// them in the negotiated codec and, when comfort noise was negotiated,
// replaces quiet stretches by noise packets.
#pragma once

#include "media/codecs/g726.h"
#include "media/codecs/gsm.h"
#include "media/rtp_sender.h"
#include "media/soundsink.h"

class LRtpSendSinkBase : public LSoundSinkBase
{
  public:
    static constexpr int kFrame = 160;
    // Peaks in the shared scale: a quiet frame starts silence, only a
    // clearly louder half-frame ends it.
    static constexpr int kStartSilencePeak = 4096;
    static constexpr int kEndSilencePeak = 8192;

    explicit LRtpSendSinkBase(LRtpEngine &engine);
    void Write(const int *samples, int frames) override;

  private:
    void HandleFrame();
    void Write160SampleFrame(const int *samples);

    LRtpEngine &engine_;
    LRtpSender sender_;
    int frame_[kFrame];
    int fill_ = 0;
    bool silent_ = true;
    LGSMEncoder gsm_;
    LG726 g726_;
};
