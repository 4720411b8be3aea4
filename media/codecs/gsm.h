// GSM 06.10 full-rate speech codec (RTP payload type 3): 160 samples of the
// shared scale to 33 bytes and back. One object per direction of a call.
#pragma once

#include "media/codecs/gsmframe.h"

#include <cstdint>

class LGSMBase
{
  public:
    void Reset();

  protected:
    LGSMBase() { Reset(); }
    // Reconstructed long-term residual: dp0[0..119] is the past, the
    // current frame goes to dp0[120..279].
    int16_t dp0[280];
    int16_t LARpp[2][8]; // decoded LARs of the previous and current frame
    int current;         // which LARpp row holds the current frame
    int16_t filter[9];   // lattice filter memory (u for analysis, v for synthesis)
    int16_t lag;         // last good lag (synthesis)
    long long emphasis[3];
};

class LGSMEncoder : public LGSMBase
{
  public:
    void EncodeNormal(const int *samples160, unsigned char *out33);
    // The analysis proper, on 160 pre-processed 16-bit values (which it
    // overwrites), as GSM 06.10 defines it.
    void EncodeFrame(int16_t *s160, LGSMFrame &frame);

  private:
    void Preprocess(const int *samples160, int16_t *out160);
};

class LGSMDecoder : public LGSMBase
{
  public:
    // A short payload is the caller's to drop: this takes 33 bytes.
    void DecodeFrameNormal(const unsigned char *in33, int *samples160);
    // The synthesis proper, giving the 16-bit filter output before
    // de-emphasis, as GSM 06.10 defines it.
    void DecodeFrame(const LGSMFrame &frame, int16_t *sr160);

  private:
    void Postprocess(const int16_t *sr160, int *samples160);
};
