#include "media/peaklimit.h"
#include "media/peaklimitsource.h"

#include <algorithm>
#include <cstring>

LSRCPeakLimit::LSRCPeakLimit(const LSoundSource &source, int peakLimit) : LSoundProcessBase(source)
{
    limit = std::clamp(peakLimit, 1, 0x3FFFFF);
    peak = static_cast<int>(std::min<long long>(limit, peak));
    int divisor = input.IsStreaming() ? 70 : 35;
    blockFrames = std::clamp(sampleRate / divisor, 16, 8192);
    for (auto &block : blocks)
        block.resize(static_cast<size_t>(blockFrames) * channels);
}

// The gain that brings a block within the limit. Block peaks can reach the
// full int range, so the arithmetic is 64-bit throughout.
long long LSRCPeakLimit::BlockLevel(int block) const
{
    long long blockPeak = GetBufferPeak(blocks[block].data(), blockCount[block], channels);
    if (blockPeak <= limit)
        return kUnity;
    return ((limit << 9) / ((blockPeak + 64) >> 6)) << 9;
}

void LSRCPeakLimit::ReadBlock(int block)
{
    blockCount[block] = input.Read(blocks[block].data(), blockFrames);
    level[block] = BlockLevel(block);
}

void LSRCPeakLimit::Start()
{
    for (int b = 0; b < 3; b++)
        ReadBlock(b);
    previousLevel = level[0];
    gain = level[0];
    offset = 0;
    started = true;
    PlanRamp();
}

void LSRCPeakLimit::PlanRamp()
{
    long long target = std::min(level[0], level[1]) - gain;
    long long average = ((previousLevel + level[0] + level[1] + level[2]) >> 2) - gain;
    long long step = std::min(target, average);
    increment = step / blockFrames;
    gain += step % blockFrames;
}

void LSRCPeakLimit::Advance()
{
    std::swap(blocks[0], blocks[1]);
    std::swap(blocks[1], blocks[2]);
    blockCount[0] = blockCount[1];
    blockCount[1] = blockCount[2];
    previousLevel = level[0];
    level[0] = level[1];
    level[1] = level[2];
    ReadBlock(2);
    offset = 0;
    PlanRamp();
}

int LSRCPeakLimit::Read(int *samples, int frames)
{
    if (!started)
        Start();
    int given = 0;
    while (given < frames) {
        if (offset >= blockCount[0]) {
            if (blockCount[0] == 0 && blockCount[1] == 0)
                break;
            Advance();
            if (blockCount[0] == 0)
                break;
            continue;
        }
        const int *in = blocks[0].data() + static_cast<size_t>(offset) * channels;
        int *out = samples + static_cast<size_t>(given) * channels;
        int count = std::min(frames - given, blockCount[0] - offset);
        if (gain >= kUnity && increment == 0) {
            memcpy(out, in, sizeof(int) * count * channels);
        } else {
            for (int f = 0; f < count; f++, gain += increment) {
                for (int c = 0; c < channels; c++) {
                    long long product = static_cast<long long>(in[f * channels + c]) * gain;
                    out[f * channels + c] = static_cast<int>(product >> 24);
                }
            }
        }
        offset += count;
        given += count;
    }
    position += given;
    return given;
}

// Counted on from this source's own position: a looping input's position
// jumps back at every turn, so its end is only good for what it has left.
int LSRCPeakLimit::GetEndSample()
{
    long long held =
        started ? (long long)blockCount[0] - offset + blockCount[1] + blockCount[2] : 0;
    return LSoundTime::Saturate(position + held + (long long)input.GetEndSample() -
                                input.GetPositionSample());
}

void LSRCPeakLimit::Seek(int frame)
{
    input.Seek(frame);
    position = input.GetPositionSample();
    Start();
}

LSoundSource LSPPeakLimit::OpenSource(LSoundSource &input)
{
    if (!input)
        return input;
    return LSoundSource(new LSRCPeakLimit(input, peak));
}
