#include "media/rtp_stream_decoder.h"

#include "media/codecs/sampleformats.h"

#include <algorithm>

// The clock starts 200 ms in the past so that the first packet does not
// find the stream already late.
LRtpStreamDecoder::LRtpStreamDecoder(LRtpStreamTarget &target, const LClock &clock)
    : target_(target), clock_(clock), clockBase_(clock.Tick() - 200)
{
}

int LRtpStreamDecoder::GetTimeAhead()
{
    uint32_t now = clock_.Tick();
    int ahead = (int)(written_ / 8) - (int)LTickInterval(now, clockBase_);
    if (ahead <= -200) {
        // Far behind (the thread was starved, or nothing played for long):
        // catching up would only burst; start the clock again from now.
        clockBase_ = now;
        written_ = 0;
        return 0;
    }
    return ahead;
}

void LRtpStreamDecoder::HandlePacketReceived(const LRtpHeader &packet, bool skipped)
{
    uint8_t payloadType = packet.GetPayloadType();
    uint32_t timestamp = packet.ReadTimeStamp();
    if (!ssrcKnown_ || packet.GetSSRC() != ssrc_) {
        expectedTimeStamp_ = timestamp;
        ssrc_ = packet.GetSSRC();
        ssrcKnown_ = true;
    }
    int gap = (int32_t)(timestamp - expectedTimeStamp_);
    int room = kIdealAheadMs - GetTimeAhead();
    if (gap > 0 && room > 0) {
        gap = std::min(gap, room * 8);
        if (skipped && !silence_) {
            WriteSynth(gap);
        } else {
            // A timestamp jump after a pause is the peer's silence
            // suppression: half of it is enough to keep the clock fed.
            WriteSilence(gap / 2);
            silence_ = true;
        }
    }
    expectedTimeStamp_ = timestamp;
    const unsigned char *payload;
    int length;
    if (packet.GetDataBufferAndLength(payload, length)) {
        current_ = &packet;
        Decode(payloadType, payload, length);
        current_ = nullptr;
    }
}

void LRtpStreamDecoder::Decode(uint8_t payloadType, const unsigned char *payload, int length)
{
    if (payloadType == 0 || payloadType == 8) {
        for (int done = 0; done < length;) {
            int n = std::min(length - done, kBlock);
            if (payloadType == 0)
                ConvertSamplesIn(buffer_, (const LSFULAW *)(payload + done), n);
            else
                ConvertSamplesIn(buffer_, (const LSFALAW *)(payload + done), n);
            WriteAudio(buffer_, n);
            expectedTimeStamp_ += (uint32_t)n;
            done += n;
        }
    } else if (payloadType == 3) {
        for (; length > 32; length -= 33, payload += 33) {
            gsm_.DecodeFrameNormal(payload, buffer_);
            WriteAudio(buffer_, 160);
            expectedTimeStamp_ += 160;
        }
    } else if (payloadType == target_.GetG72632PayLoadType()) {
        for (; length > 0; length -= 160, payload += 160) {
            int n = 2 * std::min(length, 160);
            g726_.DecodeBuffer(buffer_, n, payload);
            WriteAudio(buffer_, n);
            expectedTimeStamp_ += (uint32_t)n;
        }
    } else if (payloadType == target_.GetComfortNoisePayLoadType() || payloadType == 13) {
        silence_ = true;
    } else if (payloadType == target_.GetTelephoneEventPayLoadType()) {
        target_.HandleTelephoneEvent(*current_);
    }
}

int LRtpStreamDecoder::HandleNoPacketsReceived()
{
    int d = GetTimeAhead() - (silence_ ? 15 : 40);
    if (d > 14)
        return d;
    if (silence_) {
        int n = (55 - d) * 8;
        WriteSilence(n);
        expectedTimeStamp_ += (uint32_t)n;
        written_ += 4;
    } else {
        int n = (30 - d) * 8;
        WriteSynth(n);
        expectedTimeStamp_ += (uint32_t)n;
    }
    return 15;
}

void LRtpStreamDecoder::WriteAudio(int *samples, int count)
{
    if (silence_) {
        // First audio after silence: let the buffer run down to the ideal
        // lead, then pad it with a little noise.
        int ahead = GetTimeAhead();
        if (ahead > 15)
            clock_.Sleep((uint32_t)std::min(ahead - 10, 30));
        if (kIdealAheadMs - ahead > 30)
            WriteSilence(kIdealAheadMs - ahead);
        silence_ = false;
    }
    if (synth_.IsRunning())
        synth_.TransitionAudio(samples, count);
    HandOn(samples, count);
    synth_.WriteAudio(samples, count);
}

void LRtpStreamDecoder::WriteSilence(int count)
{
    int block[512];
    while (count > 0) {
        int n = std::min(count, (int)(sizeof block / sizeof block[0]));
        noise_.CreateComfortNoise(block, n);
        if (synth_.IsRunning())
            synth_.TransitionAudio(block, n);
        HandOn(block, n);
        count -= n;
    }
}

void LRtpStreamDecoder::WriteSynth(int count)
{
    int block[512];
    while (count > 0) {
        int n = std::min(count, (int)(sizeof block / sizeof block[0]));
        synth_.SynthAudio(block, n);
        HandOn(block, n);
        count -= n;
    }
    if (!synth_.IsRunning())
        silence_ = true;
}

void LRtpStreamDecoder::HandOn(const int *samples, int count)
{
    target_.ReceiveAudio(samples, count);
    written_ += (uint32_t)count;
}
