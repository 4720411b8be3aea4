// G.726 ADPCM at 32 kbit/s (4-bit codes), per ITU-T G.726, with the state of
// one direction of one call.
#pragma once

#include <cstdint>

class LG726
{
  public:
    LG726() { Reset(); }
    // The recommendation's reset state.
    void Reset();

    // One shared-scale sample in, one 4-bit code out.
    unsigned char EncodeSample(int sample);
    // One 4-bit code in (higher bits ignored), one shared-scale sample out.
    int DecodeSample(unsigned char code);

    // count samples into count / 2 bytes, the first sample of each pair in
    // the high nibble. An odd last sample is ignored.
    void EncodeBuffer(const int *samples, int count, unsigned char *out);
    // count samples from count / 2 bytes, high nibble first.
    void DecodeBuffer(int *samples, int count, const unsigned char *in);

  private:
    // The estimate for the next sample and the step size it is coded with.
    struct LPrediction {
        int sezi; // zeros part alone
        int se;   // signal estimate
        int y;    // quantiser scale factor
    };
    int StepSize() const;
    LPrediction Predict() const;
    // Adapts the state to code; returns the reconstructed signal.
    int Adapt(const LPrediction &p, int code);
    unsigned char EncodeStep(int sample);
    int DecodeStep(int code);
    void Update(int y, int wi, int fi, int dq, int sr, int dqsez);
    void UpdatePredictor(int dq, int dqsez, int pk0, int16_t &a2p);
    void UpdateSpeedControl(int y, int fi, bool transition);

    int32_t yl;   // locked (steady-state) scale factor
    int16_t yu;   // unlocked (fast) scale factor
    int16_t dms;  // short-term average of F(I)
    int16_t dml;  // long-term average of F(I)
    int16_t ap;   // speed control
    int16_t a[2]; // pole coefficients
    int16_t b[6]; // zero coefficients
    int16_t pk[2];
    int16_t dq[6]; // past quantised differences, floating format
    int16_t sr[2]; // past reconstructed signals, floating format
    bool td;       // tone (modem signal) detected
};
