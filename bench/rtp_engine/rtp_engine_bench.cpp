// CPU of one channel's receive path per 20 ms packet: reorder store, PCMU
// decoding, play-out and in-band DTMF detection, against spandsp's dtmf_rx
// alone on the same decoded frames.
#include "bench/bench_media.h"
#include "media/codecs/sampleformats.h"
#include "media/rtp_dtmf.h"
#include "media/rtp_receive_stack.h"
#include "media/rtp_relay_connection.h"
#include "media/rtp_stream_decoder.h"
#include "media/sdp_settings.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <spandsp.h>
#include <string>
#include <vector>

namespace
{
constexpr int kFrames = 250; // 5 s cycled

// Speech-like noise with a key press every second.
std::vector<int16_t> Audio()
{
    std::vector<int16_t> out(kFrames * 160);
    uint32_t seed = 1;
    double low = 0;
    for (size_t i = 0; i < out.size(); i++) {
        seed = seed * 1664525 + 1013904223;
        low = 0.9 * low + 0.1 * ((int)(seed >> 16) - 32768) / 4.0;
        double t = i / 8000.0, v = low;
        if (fmod(t, 1.0) < 0.08)
            v += 4000 * (sin(2 * M_PI * 770 * t) + sin(2 * M_PI * 1336 * t));
        out[i] = (int16_t)std::max(-32768.0, std::min(32767.0, v));
    }
    return out;
}

std::vector<std::string> Packets(const std::vector<int16_t> &audio)
{
    std::vector<std::string> packets;
    for (int n = 0; n < kFrames; n++) {
        std::string p(12 + 160, '\0');
        p[0] = (char)0x80;
        for (int i = 0; i < 160; i++)
            p[12 + i] = (char)LG711::LinearToUlaw(audio[n * 160 + i] * 16);
        packets.push_back(p);
    }
    return packets;
}

struct Keys : LRtpDTMFNotify {
    int count = 0;
    void DetectDTMFEvent(char) override { count++; }
    void DialDTMFComplete() override {}
};

struct Channel : LRtpStreamTarget {
    explicit Channel(Keys &keys) : dtmf(keys, 50) { dtmf.Start(LRtpDTMF::kNoPayload); }
    void ReceiveAudio(const int *s, int n) override { dtmf.ReceiveAudio(s, n); }
    void HandleTelephoneEvent(const LRtpHeader &) override {}
    uint8_t GetComfortNoisePayLoadType() const override { return kNoPayload; }
    uint8_t GetG72632PayLoadType() const override { return kNoPayload; }
    uint8_t GetTelephoneEventPayLoadType() const override { return kNoPayload; }
    LRtpDTMF dtmf;
};

BenchMedia gMedia;
// Frozen but for the decoder's own pacing sleeps, which move it on without
// waiting: the benchmark measures work, not the play-out clock.
LManualClock gClock;

void WholeReceivePath(benchmark::State &state)
{
    std::vector<std::string> packets = Packets(Audio());
    Keys keys;
    Channel channel(keys);
    LRtpReceivePacketStack stack(gMedia, gClock);
    LRtpStreamDecoder decoder(channel, gClock);
    LRtpHeader packet;
    uint32_t n = 0;
    for (auto _ : state) {
        std::string &p = packets[n % kFrames];
        p[2] = (char)(n >> 8), p[3] = (char)n;
        uint32_t ts = n * 160;
        p[4] = (char)(ts >> 24), p[5] = (char)(ts >> 16), p[6] = (char)(ts >> 8), p[7] = (char)ts;
        stack.ReceiveBytes(p.data(), (int)p.size(), {});
        stack.GetNextPacket(packet);
        decoder.HandlePacketReceived(packet, false);
        n++;
    }
    state.counters["keys/s"] = benchmark::Counter(keys.count, benchmark::Counter::kIsRate);
}
BENCHMARK(WholeReceivePath);

void SpandspDtmfRxAlone(benchmark::State &state)
{
    // The same frames as the receive path hands on: after the PCMU trip.
    std::vector<std::string> packets = Packets(Audio());
    std::vector<int16_t> frames(kFrames * 160);
    for (int n = 0; n < kFrames; n++)
        for (int i = 0; i < 160; i++)
            frames[n * 160 + i] =
                (int16_t)SampleTo16(LG711::UlawToLinear((uint8_t)packets[n][12 + i]));
    int count = 0;
    dtmf_rx_state_t *rx = dtmf_rx_init(
        nullptr, [](void *c, const char *, int len) { *(int *)c += len; }, &count);
    uint32_t n = 0;
    for (auto _ : state) {
        dtmf_rx(rx, &frames[(n % kFrames) * 160], 160);
        n++;
    }
    dtmf_rx_free(rx);
    state.counters["keys/s"] = benchmark::Counter(count, benchmark::Counter::kIsRate);
}
BENCHMARK(SpandspDtmfRxAlone);
} // namespace

namespace
{
// The detector alone, for where the receive path's time goes.
void InBandDetectorAlone(benchmark::State &state)
{
    std::vector<int16_t> audio = Audio();
    std::vector<int> frames(audio.size());
    for (size_t i = 0; i < audio.size(); i++)
        frames[i] = audio[i] * 16;
    Keys keys;
    LRtpDTMF dtmf(keys, 50);
    dtmf.Start(LRtpDTMF::kNoPayload);
    uint32_t n = 0;
    for (auto _ : state) {
        dtmf.ReceiveAudio(&frames[(n % kFrames) * 160], 160);
        n++;
    }
}
BENCHMARK(InBandDetectorAlone);
} // namespace
