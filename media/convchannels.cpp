#include "media/convchannels.h"

#include <cstddef>
#include <vector>

namespace
{
class LSRCConvChannels : public LSoundProcessBase
{
  public:
    LSRCConvChannels(const LSoundSource &source, int wanted) : LSoundProcessBase(source)
    {
        channels = static_cast<uint8_t>(wanted);
    }

    int Read(int *samples, int frames) override
    {
        int from = input.GetChannels();
        buffer.resize(static_cast<size_t>(frames) * from);
        int got = input.Read(buffer.data(), frames);
        for (int f = 0; f < got; f++) {
            for (int c = 0; c < channels; c++)
                samples[f * channels + c] = buffer[f * from + (c < from ? c : from - 1)];
        }
        return got;
    }

  private:
    std::vector<int> buffer;
};
} // namespace

LSoundSource LSPConvChannels::OpenSource(LSoundSource &input)
{
    if (!input || channels < 1 || channels > 255 || input.GetChannels() == channels)
        return input;
    return LSoundSource(new LSRCConvChannels(input, channels));
}
