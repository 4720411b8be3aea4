// Concealment of lost packets: the last pitch period of what was played is
// repeated with a linear fade to silence over 1875 samples (about 234 ms),
// and real audio arriving during it is cross-faded in.
#pragma once

#include <cstdint>

class LRtpPacketLossSynth
{
  public:
    static constexpr int kFadeSamples = 1875;

    // Real audio played: kept as history; ends any concealment.
    void WriteAudio(const int *samples, int count);
    // count samples of concealment (0 once the fade has run out), also kept
    // as history.
    void SynthAudio(int *out, int count);
    // Fades the first samples of real audio in from concealment, if it runs.
    void TransitionAudio(int *samples, int count);
    bool IsRunning() const { return countdown_ > 0; }
    int GetPitchPeriod() const { return pitch_; }

  private:
    static constexpr int kHistory = 256;
    int History(int back) const { return history_[(uint8_t)(write_ - back)]; }
    void Append(int sample) { history_[write_++] = sample; }
    void EstimatePitch();

    int32_t history_[kHistory] = {};
    uint8_t write_ = 0;
    int32_t countdown_ = 0;
    uint8_t pitch_ = 60;
};
