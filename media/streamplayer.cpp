#include "media/streamplayer.h"
#include "media/convertrate.h"
#include "media/peaklimit.h"

#include <algorithm>
#include <vector>

LStreamPlayer::~LStreamPlayer()
{
    Stop();
}

bool LStreamPlayer::Start(const LSoundSource &input, const LSoundSink &output)
{
    Stop();
    if (!input)
        return false;
    LSoundSource converted = input;
    LSPConvertSourceRateChannels(output.GetSampleRate(), output.GetChannels(), converted);
    // The limiter reads three blocks ahead, which a network stream cannot
    // give; its 8-bit material needs no limiting anyway.
    source = converted.IsStreaming() ? converted : LSPPeakLimit(kSoundPeak16).OpenSource(converted);
    sink = output;
    position.store(source.GetPositionSample());
    ended.store(false);
    if (!LThread::Start(StartHigh))
        return false;
    if (notify)
        notify->PlayerStarted(position.load());
    return true;
}

void LStreamPlayer::Stop()
{
    StopThreadNow();
    source.Close();
    sink.Close();
    position.store(0);
    ended.store(false);
}

void LStreamPlayer::ThreadFunction()
{
    // 40 ms a block; the sink cuts it into 20 ms packets.
    const int block = std::clamp(source.GetSampleRate() / 25, 20, 8192);
    std::vector<int> buffer((size_t)block * source.GetChannels());
    bool running = false;
    // A stream's end and position say nothing about what it holds (the
    // rate converter keeps some of it), even after it ended: it is read
    // until it gives nothing.
    const bool stream = source.IsStreaming();
    while (!IsToStop()) {
        long long left = (long long)source.GetEndSample() - source.GetPositionSample();
        int got = 0;
        if (left > 0 || stream)
            got = source.Read(buffer.data(),
                              (int)(left > 0 ? std::min<long long>(left, block) : block));
        if (got > 0) {
            sink.Write(buffer.data(), got);
            position.store(source.GetPositionSample());
            if (running)
                Sleep(10);
            running = true;
            continue;
        }
        running = false;
        if (!source.IsStreaming()) {
            ended.store(true);
            if (notify)
                notify->PlayerEnded(position.load());
            return;
        }
        source.WaitForStreamingData(100);
    }
}
