// Channel count conversion: fewer channels keep the first ones (stereo to
// mono keeps the left channel, unmixed); more channels repeat the last one
// (mono to stereo duplicates).
#pragma once

#include "media/soundprocess.h"

class LSPConvChannels : public LSoundProcess
{
  public:
    explicit LSPConvChannels(int channels) : channels(channels) {}
    LSoundSource OpenSource(LSoundSource &input) override;

  private:
    int channels;
};
