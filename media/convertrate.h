// Sample-rate conversion by a polyphase windowed-sinc filter.
#pragma once

#include "media/soundprocess.h"

#include <cstddef>
#include <vector>

// The filter design: phases P and step chosen so that step / P comes closest
// to inRate / outRate; coefficients with 16 fractional bits per phase.
class LConvertRateBase
{
  public:
    LConvertRateBase(int inRate, int outRate, int taps, bool sharp);
    int Phases() const { return phases; }
    int Step() const { return step; }
    int Taps() const { return taps; }
    const int *Coefficients(int phase) const
    {
        return &coefficients[static_cast<size_t>(phase) * taps];
    }

  private:
    int phases = 1;
    int step = 1;
    int taps;
    std::vector<int> coefficients;
};

// Replaces source by one with the given rate (sharp: the narrower cut-off
// used for the first of two down-sampling stages).
LSoundSource LSRCConvertRate(const LSoundSource &source, int rate, bool sharp);

class LSPConvertRate : public LSoundProcess
{
  public:
    explicit LSPConvertRate(int rate) : rate(rate) {}
    LSoundSource OpenSource(LSoundSource &input) override;

  private:
    int rate;
};

// Replaces source by one that delivers rate and channels: channels are
// reduced before the rate conversion and added after it.
void LSPConvertSourceRateChannels(int rate, int channels, LSoundSource &source);
