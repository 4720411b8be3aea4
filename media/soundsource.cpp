#include "media/soundsource.h"
#include "platform/log.h"

#include <chrono>
#include <cstring>
#include <thread>

LSoundSourceBase::LSoundSourceBase(int rate, int channelCount, int peakValue)
    : sampleRate(rate), peak(peakValue), channels(static_cast<uint8_t>(channelCount))
{
    if (rate < 1) {
        sampleRate = 44100;
        error = LSoundErrorStructure;
    }
    if (channelCount < 1 || channelCount > 255) {
        channels = 1;
        error = LSoundErrorStructure;
    }
}

void LSoundSourceBase::Seek(int) {}

void LSoundSourceBase::WaitForStreamingData(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

LSoundSourceError::LSoundSourceError(int code) : LSoundSourceBase(11025, 1, 0x200000)
{
    error = static_cast<uint8_t>(code);
}

int LSoundSourceError::Read(int *samples, int frames)
{
    ClearAudioBuffer(samples, frames, channels);
    return 0;
}

LSoundSource::LSoundSource() : source(nullptr)
{
    Attach(new LSoundSourceError(LSoundErrorClosed));
}

LSoundSource::LSoundSource(LSoundSourceBase *object) : source(nullptr)
{
    Attach(object ? object : new LSoundSourceError(LSoundErrorStructure));
}

LSoundSource::LSoundSource(const LSoundSource &other) : source(nullptr)
{
    Attach(other.source);
}

LSoundSource &LSoundSource::operator=(const LSoundSource &other)
{
    if (other.source != source) {
        LSoundSourceBase *keep = other.source;
        Release();
        Attach(keep);
    }
    return *this;
}

LSoundSource::~LSoundSource()
{
    Release();
}

void LSoundSource::Attach(LSoundSourceBase *object)
{
    source = object;
    if (source->references == UINT16_MAX)
        LOGERROR("Sound source shared too often");
    source->references++;
}

void LSoundSource::Release()
{
    if (source && --source->references == 0)
        delete source;
    source = nullptr;
}

void LSoundSource::Close()
{
    Release();
    Attach(new LSoundSourceError(LSoundErrorClosed));
}

int LSoundSource::Read(int *samples, int frames)
{
    if (frames <= 0)
        return 0;
    return source->Read(samples, frames);
}

long long GetBufferPeak(const int *samples, int frames, int channels)
{
    long long highest = 0, lowest = 0;
    for (long long i = 0; i < static_cast<long long>(frames) * channels; i++) {
        if (samples[i] > highest)
            highest = samples[i];
        if (samples[i] < lowest)
            lowest = samples[i];
    }
    return highest > -lowest ? highest : -lowest;
}

void ClearAudioBuffer(int *samples, int frames, int channels)
{
    if (frames > 0 && channels > 0)
        memset(samples, 0, sizeof(int) * frames * channels);
}

LSoundTime LSoundTime::FromSeconds(double seconds)
{
    double ms = seconds * 1000.0;
    if (!(ms == ms))
        return Zero();
    if (ms >= INT32_MAX)
        return LSoundTime(INT32_MAX);
    if (ms <= INT32_MIN)
        return LSoundTime(INT32_MIN);
    return LSoundTime(static_cast<int>(ms < 0 ? ms - 0.5 : ms + 0.5));
}
