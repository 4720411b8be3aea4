// The PCM data of a wave file as a sound source: exactly the frames of the
// data chunk, converted to the shared scale.
#pragma once

#include "media/codecs/sampleformats.h"
#include "media/soundsource.h"
#include "media/wavestream.h"

#include <memory>
#include <vector>

template <class T> class LSRCPCMFile : public LSoundSourceBase
{
  public:
    // dataStart and frames locate the data chunk (already cut to the bytes
    // the stream really holds).
    LSRCPCMFile(std::unique_ptr<LWaveStream> stream, int rate, int channels, long long dataStart,
                int frames)
        : LSoundSourceBase(rate, channels, kSoundPeak16), stream(std::move(stream)),
          dataStart(dataStart), frames(frames)
    {
        this->stream->SeekTo(dataStart);
    }

    int Read(int *samples, int wanted) override
    {
        int given = 0;
        while (given < wanted && position < frames) {
            int chunk = wanted - given;
            chunk = chunk < kBufferFrames ? chunk : kBufferFrames;
            chunk = chunk < frames - position ? chunk : frames - position;
            size_t samplesInChunk = static_cast<size_t>(chunk) * channels;
            buffer.resize(samplesInChunk);
            size_t got =
                stream->Read(buffer.data(), samplesInChunk * sizeof(T)) / (sizeof(T) * channels);
            if (got == 0)
                break;
            ConvertSamplesIn(samples + static_cast<size_t>(given) * channels, buffer.data(),
                             static_cast<int>(got) * channels);
            given += static_cast<int>(got);
            position += static_cast<int>(got);
            if (got < static_cast<size_t>(chunk)) {
                frames = position; // the file shrank underneath us
                break;
            }
        }
        return given;
    }
    int GetPositionSample() override { return position; }
    int GetEndSample() override { return frames; }
    void Seek(int frame) override
    {
        position = frame < 0 ? 0 : (frame > frames ? frames : frame);
        stream->SeekTo(dataStart + static_cast<long long>(position) * channels * sizeof(T));
    }

  private:
    static constexpr int kBufferFrames = 16384;
    std::unique_ptr<LWaveStream> stream;
    long long dataStart;
    int frames;
    int position = 0;
    std::vector<T> buffer;
};
