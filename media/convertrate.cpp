#include "media/convertrate.h"
#include "media/convchannels.h"

#include <algorithm>
#include <cstring>

namespace
{
constexpr int kTaps = 63;
constexpr int kHistoryFrames = 32831; // 32768 plus the filter length

class LSRCConvertRateSource : public LSoundProcessBase
{
  public:
    LSRCConvertRateSource(const LSoundSource &source, int rate, bool sharp)
        : LSoundProcessBase(source), filter(source.GetSampleRate(), rate, kTaps, sharp)
    {
        sampleRate = rate;
        if (peak < 0x100001)
            peak *= 2; // room for the filter's overshoot
        history.resize(static_cast<size_t>(kHistoryFrames) * channels);
    }

    int Read(int *samples, int frames) override;
    int GetPositionSample() override { return static_cast<int>(position); }
    int GetEndSample() override
    {
        // Counted on from the input frames taken in so far: a looping
        // input's position jumps back at every turn, so its end is only
        // good for what it has left.
        long long end =
            historyStart + historyFrames + input.GetEndSample() - input.GetPositionSample();
        return LSoundTime::Saturate((end * filter.Phases() + filter.Step() - 1) / filter.Step());
    }
    void Seek(int frame) override;

  private:
    bool Fill(long long lastNeeded);
    void Compute(long long center, int phase, int *out) const;

    LConvertRateBase filter;
    std::vector<int> history;
    long long historyStart = 0; // input frame of history[0]
    long long historyFrames = 0;
    long long inputEnd = -1; // known once the input ends
    long long position = 0;  // output frame
};

// Makes input frames up to lastNeeded available, dropping frames the filter
// no longer reaches. Returns false while they are not (yet) there.
bool LSRCConvertRateSource::Fill(long long lastNeeded)
{
    while (historyStart + historyFrames <= lastNeeded) {
        if (inputEnd >= 0)
            return true; // beyond the end reads as silence
        long long keepFrom = lastNeeded - kTaps;
        long long drop = std::clamp(keepFrom - historyStart, 0LL, historyFrames);
        if (historyFrames == kHistoryFrames && drop == 0)
            drop = historyFrames / 2;
        if (drop > 0) {
            memmove(history.data(), history.data() + drop * channels,
                    sizeof(int) * (historyFrames - drop) * channels);
            historyStart += drop;
            historyFrames -= drop;
        }
        int room = static_cast<int>(kHistoryFrames - historyFrames);
        int got = input.Read(history.data() + historyFrames * channels, room);
        historyFrames += got;
        if (got == 0) {
            if (input.IsStreaming())
                return false;
            inputEnd = historyStart + historyFrames;
        }
    }
    return true;
}

void LSRCConvertRateSource::Compute(long long center, int phase, int *out) const
{
    const int *h = filter.Coefficients(phase);
    // Only the taps that fall inside the history count; their range is
    // found once, which keeps every test out of the multiply loop (the
    // player's hottest one).
    long long first = center - kTaps / 2 - historyStart;
    int from = static_cast<int>(std::clamp(-first, 0LL, static_cast<long long>(kTaps)));
    int to =
        static_cast<int>(std::clamp(historyFrames - first, 0LL, static_cast<long long>(kTaps)));
    for (int c = 0; c < channels; c++) {
        long long sum = 0;
        if (from < to) {
            const int *x = history.data() + (first + from) * channels + c;
            for (int t = from; t < to; t++, x += channels)
                sum += static_cast<long long>(h[t]) * *x;
        }
        sum >>= 16;
        out[c] = static_cast<int>(std::clamp<long long>(sum, INT32_MIN, INT32_MAX));
    }
}

int LSRCConvertRateSource::Read(int *samples, int frames)
{
    int given = 0;
    while (given < frames) {
        long long exact = position * filter.Step();
        long long center = exact / filter.Phases();
        int phase = static_cast<int>(exact % filter.Phases());
        if (!Fill(center + kTaps / 2))
            break;
        if (inputEnd >= 0 && center >= inputEnd)
            break;
        Compute(center, phase, samples + static_cast<size_t>(given) * channels);
        given++;
        position++;
    }
    return given;
}

void LSRCConvertRateSource::Seek(int frame)
{
    position = frame < 0 ? 0 : frame;
    long long center = position * filter.Step() / filter.Phases();
    long long start = std::max(0LL, center - kTaps);
    input.Seek(static_cast<int>(std::min<long long>(start, INT32_MAX)));
    historyStart = input.GetPositionSample();
    historyFrames = 0;
    inputEnd = -1;
}
} // namespace

LSoundSource LSRCConvertRate(const LSoundSource &source, int rate, bool sharp)
{
    if (!source || rate < 1)
        return source;
    return LSoundSource(new LSRCConvertRateSource(source, rate, sharp));
}

LSoundSource LSPConvertRate::OpenSource(LSoundSource &input)
{
    if (!input || rate < 1 || input.GetSampleRate() == rate)
        return input;
    if (static_cast<long long>(rate) * 4 < input.GetSampleRate())
        return LSRCConvertRate(LSRCConvertRate(input, rate * 2, true), rate, false);
    return LSRCConvertRate(input, rate, false);
}

void LSPConvertSourceRateChannels(int rate, int channels, LSoundSource &source)
{
    if (source.GetChannels() > channels)
        source = LSPConvChannels(channels).OpenSource(source);
    source = LSPConvertRate(rate).OpenSource(source);
    if (source.GetChannels() != channels)
        source = LSPConvChannels(channels).OpenSource(source);
}
