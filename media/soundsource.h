// Sound sources: things samples are read from. Samples are the shared scale
// (16-bit linear times 16), interleaved when there is more than one channel.
// Handles share a reference-counted object; a failed open gives an error
// object rather than nothing, so every handle can always be read.
#pragma once

#include <cstdint>

// A duration in milliseconds. Conversions are worked in 64 bits and
// saturated to the 32-bit range: a long file at a high rate has more than
// 2^31 milliseconds x rate, and a wrapped value would make a loop jump.
class LSoundTime
{
  public:
    explicit LSoundTime(int milliseconds = 0) : ms(milliseconds) {}
    static LSoundTime Zero() { return LSoundTime(0); }
    static LSoundTime FromSeconds(double seconds);
    static LSoundTime FromSamples(long long samples, int rate)
    {
        return LSoundTime(rate > 0 ? Saturate(samples * 1000 / rate) : 0);
    }
    int ToSamples(int rate) const { return Saturate(static_cast<long long>(ms) * rate / 1000); }
    int GetSamples(int rate) const { return ToSamples(rate); }
    int Milliseconds() const { return ms; }
    LSoundTime operator+(LSoundTime other) const
    {
        return LSoundTime(Saturate(static_cast<long long>(ms) + other.ms));
    }
    static int Saturate(long long value)
    {
        return value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : int(value);
    }

  private:
    int ms;
};

// Error codes of sources and sinks.
enum LSoundError : uint8_t {
    LSoundErrorNone = 0,
    LSoundErrorClosed = 1,
    LSoundErrorStructure = 3,
    LSoundErrorFile = 4,
    LSoundErrorFormat = 5,
};

// The largest magnitude 16-bit (and 8-bit) material reaches.
constexpr int kSoundPeak16 = 0x7FFF0;

class LSoundSourceBase
{
  public:
    LSoundSourceBase(int rate, int channels, int peak);
    virtual ~LSoundSourceBase() = default;
    LSoundSourceBase(const LSoundSourceBase &) = delete;
    LSoundSourceBase &operator=(const LSoundSourceBase &) = delete;

    // Fills up to frames frames; returns how many it gave (0 at the end).
    virtual int Read(int *samples, int frames) = 0;
    virtual int GetPositionSample() = 0;
    virtual int GetEndSample() = 0;
    virtual void Seek(int frame);
    // A streaming source may have more data later than it has now.
    virtual bool IsStreaming() { return false; }
    virtual void WaitForStreamingData(int ms);

    int sampleRate;
    int peak;
    uint8_t channels;
    uint8_t error = LSoundErrorNone;
    uint16_t references = 0;
};

// A source that failed: reads give silence and no frames.
class LSoundSourceError : public LSoundSourceBase
{
  public:
    explicit LSoundSourceError(int code);
    int Read(int *samples, int frames) override;
    int GetPositionSample() override { return 0; }
    int GetEndSample() override { return 0; }
};

class LSoundSource
{
  public:
    LSoundSource();
    // Takes ownership of a newly made object.
    explicit LSoundSource(LSoundSourceBase *source);
    LSoundSource(const LSoundSource &other);
    LSoundSource &operator=(const LSoundSource &other);
    ~LSoundSource();

    void Close();
    explicit operator bool() const { return source->error == LSoundErrorNone; }
    bool IsOpen() const { return source->error == LSoundErrorNone; }
    int Error() const { return source->error; }

    int Read(int *samples, int frames);
    void Seek(int frame) { source->Seek(frame); }
    int GetPositionSample() const { return source->GetPositionSample(); }
    int GetEndSample() const { return source->GetEndSample(); }
    LSoundTime GetEnd() const { return LSoundTime::FromSamples(GetEndSample(), GetSampleRate()); }
    int GetSampleRate() const { return source->sampleRate; }
    int GetChannels() const { return source->channels; }
    int GetPeak() const { return source->peak; }
    bool IsStreaming() const { return source->IsStreaming(); }
    void WaitForStreamingData(int ms) { source->WaitForStreamingData(ms); }
    LSoundSourceBase *Get() const { return source; }

  private:
    void Attach(LSoundSourceBase *object);
    void Release();
    LSoundSourceBase *source;
};

// Largest of the highest sample and the negated lowest one.
long long GetBufferPeak(const int *samples, int frames, int channels);
void ClearAudioBuffer(int *samples, int frames, int channels);
