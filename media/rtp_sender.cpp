#include "media/rtp_sender.h"

#include "media/rtp_engine.h"

LRtpSender::LRtpSender(LRtpEngine &engine) : engine_(engine)
{
    header_.InitializeRtpHeader(engine.GetAudioPayLoadType(), engine.GetSequencer().GetSSRC(),
                                true);
}

void LRtpSender::WriteData160SampleFrame(uint8_t payloadType, int length)
{
    header_.SetPayloadAndMark(payloadType, inSilence_);
    engine_.GetSequencer().Stamp(header_, 160);
    engine_.SendRtpPacket(header_, LRtpHeader::kHeaderSize + length);
    inSilence_ = false;
    engine_.GetSequencer().SyncWriteDelay();
}

void LRtpSender::SendComfortNoise(int n)
{
    header_.SetPayloadAndMark(engine_.GetComfortNoisePayLoadType(), false);
    header_.GetPayload()[0] = kNoiseLevel;
    engine_.GetSequencer().Stamp(header_, (uint32_t)n);
    engine_.SendRtpPacket(header_, LRtpHeader::kHeaderSize + 1);
}

void LRtpSender::WriteSilenceFrame(int n)
{
    if (!inSilence_) {
        inSilence_ = true;
        noiseCountdown_ = 640;
        SendComfortNoise(n);
    } else if (noiseCountdown_ <= 0) {
        SendComfortNoise(n);
        noiseCountdown_ += 8000;
    } else {
        noiseCountdown_ -= n;
        engine_.GetSequencer().Skip((uint32_t)n);
    }
    engine_.GetSequencer().SyncWriteDelay();
}
