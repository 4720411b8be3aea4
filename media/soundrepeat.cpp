#include "media/soundrepeat.h"

#include <algorithm>
#include <utility>

LSoundSource LSPRepeat::OpenSource(LSoundSource &input)
{
    if (!input)
        return input;
    int rate = input.GetSampleRate();
    return LSoundSource(new LSRCRepeat(input, loopStart.ToSamples(rate), loopEnd.ToSamples(rate)));
}

LSRCRepeat::LSRCRepeat(const LSoundSource &source, int loopStartSample, int loopEndSample)
    : LSoundProcessBase(source), loopStart(std::max(0, loopStartSample)),
      loopEnd(std::max(0, loopEndSample))
{
    if (loopEnd < loopStart)
        std::swap(loopStart, loopEnd);
    if ((long long)loopEnd - loopStart < kMinLoop)
        loopEnd = LSoundTime::Saturate((long long)loopStart + kMinLoop);
    position = input.GetPositionSample();
    if (position >= loopEnd)
        Seek(position);
}

int LSRCRepeat::GetEndSample()
{
    return LSoundTime::Saturate((long long)loopEnd + 8LL * sampleRate);
}

int LSRCRepeat::Read(int *samples, int frames)
{
    int given = 0;
    while (given < frames) {
        int count = std::min(frames - given, loopEnd - position);
        int *out = samples + (size_t)given * channels;
        int got = input.Read(out, count);
        // Past the input's own end the loop goes on in silence.
        ClearAudioBuffer(out + (size_t)got * channels, count - got, channels);
        given += count;
        position += count;
        if (position >= loopEnd) {
            position = loopStart;
            input.Seek(loopStart);
        }
    }
    return given;
}

void LSRCRepeat::Seek(int frame)
{
    if (frame < 0)
        frame = 0;
    if (frame >= loopEnd)
        frame = loopStart + (int)(((long long)frame - loopEnd) % (loopEnd - loopStart));
    position = frame;
    input.Seek(frame);
}
