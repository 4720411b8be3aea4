#include "media/soundcat.h"
#include "media/convertrate.h"

#include <algorithm>

void LSoundSourceCat::AddSource(const LSoundSource &source)
{
    items.push_back({source, LSoundTime::Zero()});
}

void LSoundSourceCat::AddSilence(LSoundTime length)
{
    items.push_back({LSoundSource(), length});
}

LSoundSource LSoundSourceCat::OpenSource(int rate, int channels) const
{
    int peak = kSoundPeak16;
    std::vector<Item> usable;
    for (const Item &item : items) {
        if (!item.source && item.silence.Milliseconds() <= 0)
            continue; // a source in error or an empty silence adds nothing
        if (item.source)
            peak = std::max(peak, item.source.GetPeak());
        usable.push_back(item);
    }
    return LSoundSource(new LSSRCCat(std::move(usable), rate, channels, peak));
}

LSSRCCat::LSSRCCat(std::vector<LSoundSourceCat::Item> list, int rate, int channelCount, int peak)
    : LSoundSourceBase(rate, channelCount, peak), items(std::move(list))
{
}

// A source's remaining length in frames of this chain's rate.
long long LSSRCCat::ItemLength(LSoundSourceCat::Item &item) const
{
    if (!item.source)
        return item.silence.ToSamples(sampleRate);
    long long frames = (long long)item.source.GetEndSample() - item.source.GetPositionSample();
    return std::max(0LL, frames) * sampleRate / item.source.GetSampleRate();
}

bool LSSRCCat::BeginItem()
{
    while (next < items.size()) {
        LSoundSourceCat::Item &item = items[next++];
        current = LSoundSource();
        if (item.source) {
            item.source.Seek(0);
            current = item.source;
            LSPConvertSourceRateChannels(sampleRate, channels, current);
        }
        left = ItemLength(item);
        if (left > 0)
            return true;
    }
    current = LSoundSource();
    left = 0;
    return false;
}

int LSSRCCat::Read(int *samples, int frames)
{
    if (!started) {
        started = true;
        BeginItem();
    }
    int given = 0;
    while (given < frames) {
        if (left <= 0 && !BeginItem())
            break;
        int count = (int)std::min<long long>(frames - given, left);
        int *out = samples + (size_t)given * channels;
        int got = current ? current.Read(out, count) : 0;
        if (current && got < count && current.IsStreaming()) {
            // A network source counts only what it had buffered.
            given += got;
            left = 0;
            continue;
        }
        // A source shorter than it said (or a silence) is filled up.
        ClearAudioBuffer(out + (size_t)got * channels, count - got, channels);
        given += count;
        left -= count;
    }
    position = LSoundTime::Saturate((long long)position + given);
    if (given < frames)
        ClearAudioBuffer(samples + (size_t)given * channels, frames - given, channels);
    return given;
}

int LSSRCCat::GetEndSample()
{
    long long end = (long long)position + (started ? left : 0);
    for (size_t i = started ? next : 0; i < items.size(); i++)
        end += ItemLength(items[i]);
    return LSoundTime::Saturate(end);
}
