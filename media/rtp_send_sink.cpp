#include "media/rtp_send_sink.h"

#include "media/codecs/sampleformats.h"
#include "media/rtp_engine.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

LRtpSendSinkBase::LRtpSendSinkBase(LRtpEngine &engine)
    : LSoundSinkBase(8000, 1), engine_(engine), sender_(engine)
{
}

void LRtpSendSinkBase::Write(const int *samples, int frames)
{
    while (frames > 0) {
        int n = std::min(frames, kFrame - fill_);
        memcpy(frame_ + fill_, samples, (size_t)n * sizeof(int));
        fill_ += n;
        samples += n;
        frames -= n;
        if (fill_ == kFrame)
            HandleFrame();
    }
}

static int Peak(const int *samples, int count)
{
    int peak = 0;
    for (int i = 0; i < count; i++)
        peak = std::max(peak, std::abs(samples[i]));
    return peak;
}

void LRtpSendSinkBase::HandleFrame()
{
    fill_ = 0;
    if (engine_.GetComfortNoisePayLoadType() == LRtpEngine::kNoPayload) {
        Write160SampleFrame(frame_);
        return;
    }
    if (silent_) {
        if (Peak(frame_, kFrame / 2) <= kEndSilencePeak) {
            // Silence advances in 5 ms steps so that speech starting in the
            // rest of the frame is caught on the next pass.
            sender_.WriteSilenceFrame(40);
            memmove(frame_, frame_ + 40, (kFrame - 40) * sizeof(int));
            fill_ = kFrame - 40;
            return;
        }
        silent_ = false;
        Write160SampleFrame(frame_);
        return;
    }
    Write160SampleFrame(frame_);
    if (Peak(frame_, kFrame) < kStartSilencePeak)
        silent_ = true;
}

void LRtpSendSinkBase::Write160SampleFrame(const int *samples)
{
    uint8_t payloadType = engine_.GetAudioPayLoadType();
    unsigned char *out = sender_.GetPayload();
    int length = 0;
    if (payloadType == 3) {
        gsm_.EncodeNormal(samples, out);
        length = 33;
    } else if (payloadType == 8) {
        ConvertSamplesOut((LSFALAW *)out, samples, kFrame);
        length = kFrame;
    } else if (payloadType == 0) {
        ConvertSamplesOut((LSFULAW *)out, samples, kFrame);
        length = kFrame;
    } else if (payloadType == engine_.GetG72632PayLoadType()) {
        g726_.EncodeBuffer(samples, kFrame, out);
        length = kFrame / 2;
    } else {
        return;
    }
    sender_.WriteData160SampleFrame(payloadType, length);
}
