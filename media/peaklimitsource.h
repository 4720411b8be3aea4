#pragma once

#include "media/soundprocess.h"

#include <vector>

class LSRCPeakLimit : public LSoundProcessBase
{
  public:
    LSRCPeakLimit(const LSoundSource &source, int peak);
    int Read(int *samples, int frames) override;
    int GetPositionSample() override { return position; }
    int GetEndSample() override;
    void Seek(int frame) override;

    // Gains in 8.24 fixed point.
    static constexpr long long kUnity = 0x1000000;
    long long BlockLevel(int block) const;

  private:
    void Start();
    void ReadBlock(int block);
    void PlanRamp();
    void Advance();

    long long limit;
    int blockFrames;
    std::vector<int> blocks[3]; // current, next, after next
    int blockCount[3] = {0, 0, 0};
    long long level[3] = {0, 0, 0};
    long long previousLevel = 0;
    long long gain = 0;
    long long increment = 0;
    int offset = 0; // frames of the current block already given
    int position = 0;
    bool started = false;
};
