// Sound sinks: things samples are written to (an RTP sender, the recorder
// client, a file), behind reference-counted handles like sources.
#pragma once

#include <cstdint>

class LSoundSinkBase
{
  public:
    LSoundSinkBase(int rate, int channels);
    virtual ~LSoundSinkBase() = default;
    LSoundSinkBase(const LSoundSinkBase &) = delete;
    LSoundSinkBase &operator=(const LSoundSinkBase &) = delete;

    virtual void Write(const int *samples, int frames) = 0;
    virtual void Seek(int frame);

    int sampleRate;
    uint8_t channels;
    uint8_t error = 0;
    uint16_t references = 0;
};

// A sink that failed or was closed: writes go nowhere.
class LSoundSinkError : public LSoundSinkBase
{
  public:
    explicit LSoundSinkError(int code) : LSoundSinkBase(8000, 1)
    {
        error = static_cast<uint8_t>(code);
    }
    void Write(const int *, int) override {}
};

class LSoundSink
{
  public:
    LSoundSink();
    explicit LSoundSink(LSoundSinkBase *sink);
    LSoundSink(const LSoundSink &other);
    LSoundSink &operator=(const LSoundSink &other);
    ~LSoundSink();

    void Close();
    explicit operator bool() const { return sink->error == 0; }
    int Error() const { return sink->error; }
    void Write(const int *samples, int frames);
    void Seek(int frame) { sink->Seek(frame); }
    int GetSampleRate() const { return sink->sampleRate; }
    int GetChannels() const { return sink->channels; }

  private:
    void Attach(LSoundSinkBase *object);
    void Release();
    LSoundSinkBase *sink;
};
