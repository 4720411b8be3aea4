// Looping a source: the part between loop start and loop end plays over and
// over. A loop end beyond the source's own end plays silence up to it, which
// is how ringing gets its pause between rings.
#pragma once

#include "media/soundprocess.h"

class LSPRepeat : public LSoundProcess
{
  public:
    LSPRepeat(LSoundTime loopStart, LSoundTime loopEnd) : loopStart(loopStart), loopEnd(loopEnd) {}
    // A source that is not valid is returned unchanged.
    LSoundSource OpenSource(LSoundSource &input) override;

  private:
    LSoundTime loopStart;
    LSoundTime loopEnd;
};

class LSRCRepeat : public LSoundProcessBase
{
  public:
    // The shortest loop: a shorter one would spin the reader on tiny reads.
    static constexpr int kMinLoop = 256;

    LSRCRepeat(const LSoundSource &source, int loopStartSample, int loopEndSample);
    int Read(int *samples, int frames) override;
    int GetPositionSample() override { return position; }
    // Never reached: the loop end plus 8 seconds, so a reader always sees
    // more to come and a chain that counts it plays the loop once more.
    int GetEndSample() override;
    void Seek(int frame) override;
    bool IsStreaming() override { return false; }

  private:
    int loopStart;
    int loopEnd;
    int position;
};
