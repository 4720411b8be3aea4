// Test audio for the recorder tests: tones in the shared sample scale, RTP
// packets carrying them, and a sink that keeps what it is given.
#pragma once

#include "media/codecs/gsm.h"
#include "media/codecs/sampleformats.h"
#include "media/rtp_relay.h"
#include "media/soundsink.h"
#include "rtp_packets.h"

#include <cmath>
#include <string>
#include <vector>

inline std::vector<int> Tone(int count, double hz, int amplitude, int start = 0)
{
    std::vector<int> out(count);
    for (int i = 0; i < count; ++i)
        out[i] = (int)(amplitude * std::sin(2 * M_PI * hz * (start + i) / 8000.0)) * 16;
    return out;
}

// An RTP packet of payloadType as the recorder is handed it.
inline LRtpHeader Packet(int payloadType, const std::string &payload)
{
    return ToRtpHeader(RtpPacket(0, 0, 0, (uint8_t)payloadType, payload));
}

inline std::string Ulaw(const std::vector<int> &samples)
{
    std::string out(samples.size(), '\0');
    ConvertSamplesOut((LSFULAW *)out.data(), samples.data(), (int)samples.size());
    return out;
}

inline std::string GsmFrames(LGSMEncoder &encoder, const std::vector<int> &samples)
{
    std::string out;
    for (size_t i = 0; i + 160 <= samples.size(); i += 160) {
        unsigned char frame[33];
        encoder.EncodeNormal(samples.data() + i, frame);
        out.append((const char *)frame, 33);
    }
    return out;
}

class CaptureSink : public LSoundSinkBase
{
  public:
    explicit CaptureSink(std::vector<int> &out) : LSoundSinkBase(8000, 1), out_(out) {}
    void Write(const int *samples, int count) override
    {
        out_.insert(out_.end(), samples, samples + count);
    }

  private:
    std::vector<int> &out_;
};
