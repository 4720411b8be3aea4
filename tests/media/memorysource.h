// A complete in-memory source for sound chain tests.
#pragma once

#include "media/soundsource.h"

#include <algorithm>
#include <cstring>
#include <vector>

class LTestMemorySource : public LSoundSourceBase
{
  public:
    LTestMemorySource(std::vector<int> samples, int rate, int channels, int *destroyed = nullptr)
        : LSoundSourceBase(rate, channels, kSoundPeak16), samples(std::move(samples)),
          destroyed(destroyed)
    {
    }
    ~LTestMemorySource() override
    {
        if (destroyed)
            ++*destroyed;
    }
    int Read(int *out, int frames) override
    {
        int count = std::min(frames, GetEndSample() - position);
        memcpy(out, samples.data() + position * channels, sizeof(int) * count * channels);
        position += count;
        return count;
    }
    int GetPositionSample() override { return position; }
    int GetEndSample() override { return static_cast<int>(samples.size()) / channels; }
    void Seek(int frame) override { position = std::clamp(frame, 0, GetEndSample()); }

  private:
    std::vector<int> samples;
    int position = 0;
    int *destroyed;
};

inline std::vector<int> ReadEverything(LSoundSource &source)
{
    std::vector<int> all;
    std::vector<int> buffer(997 * source.GetChannels());
    int got;
    while ((got = source.Read(buffer.data(), 997)) > 0)
        all.insert(all.end(), buffer.begin(), buffer.begin() + got * source.GetChannels());
    return all;
}
