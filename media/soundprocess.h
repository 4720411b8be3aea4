// Sound processes wrap a source in another source (conversion, limiting).
#pragma once

#include "media/soundsource.h"

class LSoundProcess
{
  public:
    virtual ~LSoundProcess() = default;
    virtual LSoundSource OpenSource(LSoundSource &input) = 0;
};

// A source over an input source, with the input's rate, channels and peak;
// position, end, seeking and streaming pass through unless overridden.
class LSoundProcessBase : public LSoundSourceBase
{
  public:
    explicit LSoundProcessBase(const LSoundSource &source)
        : LSoundSourceBase(source.GetSampleRate(), source.GetChannels(), source.GetPeak()),
          input(source)
    {
    }
    int GetPositionSample() override { return input.GetPositionSample(); }
    int GetEndSample() override { return input.GetEndSample(); }
    void Seek(int frame) override { input.Seek(frame); }
    bool IsStreaming() override { return input.IsStreaming(); }
    void WaitForStreamingData(int ms) override { input.WaitForStreamingData(ms); }

  protected:
    LSoundSource input;
};
