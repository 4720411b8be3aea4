#include "media/rtp_loss_synth.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

void LRtpPacketLossSynth::WriteAudio(const int *samples, int count)
{
    // Only the last 256 samples matter; copied in at most two runs.
    if (count > kHistory) {
        samples += count - kHistory;
        count = kHistory;
    }
    int first = std::min(count, kHistory - write_);
    memcpy(history_ + write_, samples, (size_t)first * sizeof(int32_t));
    memcpy(history_, samples + first, (size_t)(count - first) * sizeof(int32_t));
    write_ = (uint8_t)(write_ + count);
    countdown_ = 0;
}

// Average magnitude difference over the last 59 samples, weighted towards
// the most recent ones, for periods of 40 to 89 samples (90 to 200 Hz).
void LRtpPacketLossSynth::EstimatePitch()
{
    long long bestCost = -1;
    for (int p = 40; p < 90; p++) {
        long long cost = 0;
        for (int k = 1; k < 60; k++)
            cost += (long long)std::abs(History(k) - History(p + k)) * (81 - k);
        if (bestCost < 0 || cost < bestCost) {
            bestCost = cost;
            pitch_ = (uint8_t)p;
        }
    }
}

void LRtpPacketLossSynth::SynthAudio(int *out, int count)
{
    if (countdown_ < 1) {
        EstimatePitch();
        countdown_ = kFadeSamples;
    }
    int faded = std::min(count, (int)countdown_);
    for (int i = 0; i < faded; i++) {
        countdown_--;
        out[i] = (int)((long long)History(pitch_) * countdown_ / 2000);
        Append(out[i]);
    }
    for (int i = faded; i < count; i++) {
        out[i] = 0;
        Append(0);
    }
}

void LRtpPacketLossSynth::TransitionAudio(int *samples, int count)
{
    if (count <= 0 || !IsRunning())
        return;
    int length = std::min(40, count);
    int synth[40];
    SynthAudio(synth, length);
    for (int k = 0; k < length; k++)
        samples[k] = (samples[k] * k + synth[k] * (length - k)) / length;
    countdown_ = 0;
}
