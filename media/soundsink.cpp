#include "media/soundsink.h"
#include "media/soundsource.h"

LSoundSinkBase::LSoundSinkBase(int rate, int channelCount)
    : sampleRate(rate), channels(static_cast<uint8_t>(channelCount))
{
    if (channelCount < 1 || channelCount > 255) {
        channels = 1;
        error = LSoundErrorStructure;
    }
}

void LSoundSinkBase::Seek(int) {}

LSoundSink::LSoundSink() : sink(nullptr)
{
    Attach(new LSoundSinkError(LSoundErrorClosed));
}

LSoundSink::LSoundSink(LSoundSinkBase *object) : sink(nullptr)
{
    Attach(object ? object : new LSoundSinkError(LSoundErrorStructure));
}

LSoundSink::LSoundSink(const LSoundSink &other) : sink(nullptr)
{
    Attach(other.sink);
}

LSoundSink &LSoundSink::operator=(const LSoundSink &other)
{
    if (other.sink != sink) {
        LSoundSinkBase *keep = other.sink;
        Release();
        Attach(keep);
    }
    return *this;
}

LSoundSink::~LSoundSink()
{
    Release();
}

void LSoundSink::Attach(LSoundSinkBase *object)
{
    sink = object;
    sink->references++;
}

void LSoundSink::Release()
{
    if (sink && --sink->references == 0)
        delete sink;
    sink = nullptr;
}

void LSoundSink::Close()
{
    Release();
    Attach(new LSoundSinkError(LSoundErrorClosed));
}

void LSoundSink::Write(const int *samples, int frames)
{
    if (frames > 0)
        sink->Write(samples, frames);
}
