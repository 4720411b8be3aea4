// A look-ahead gain limiter that keeps a source within a peak: each block's
// gain is known two blocks before it plays, so the gain ramps down smoothly
// ahead of a loud passage instead of clipping it.
#pragma once

#include "media/soundprocess.h"

class LSPPeakLimit : public LSoundProcess
{
  public:
    explicit LSPPeakLimit(int peak) : peak(peak) {}
    LSoundSource OpenSource(LSoundSource &input) override;

  private:
    int peak;
};
