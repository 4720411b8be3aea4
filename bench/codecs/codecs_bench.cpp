// GSM 06.10 and G.726-32 encode and decode per 20 ms frame: ours next to
// libgsm and spandsp in the same run.
#include "media/codecs/g726.h"
#include "media/codecs/gsm.h"
#include "speechsignal.h"

#include <benchmark/benchmark.h>
#include <gsm.h>
#include <spandsp.h>

#include <vector>

namespace
{
constexpr int kFrames = 250; // 5 s of audio, cycled

struct Material {
    std::vector<int16_t> pcm = MakeSpeechSignal(160 * kFrames, 4);
    std::vector<int> shared;
    std::vector<unsigned char> gsmFrames, g726Bytes;
    Material()
    {
        for (int16_t v : pcm)
            shared.push_back(v * 16);
        gsm g = gsm_create();
        gsmFrames.resize(33 * kFrames);
        for (int f = 0; f < kFrames; f++)
            gsm_encode(g, &pcm[f * 160], &gsmFrames[f * 33]);
        gsm_destroy(g);
        g726Bytes.resize(80 * kFrames);
        LG726 codec;
        codec.EncodeBuffer(shared.data(), 160 * kFrames, g726Bytes.data());
    }
};

// Each benchmark fetches this before its timed loop, so building it is not
// charged to whichever benchmark runs first.
const Material &Data()
{
    static const Material material;
    return material;
}

void OursGsmEncode(benchmark::State &state)
{
    LGSMEncoder encoder;
    unsigned char out[33];
    const Material &data = Data();
    int f = 0;
    for (auto _ : state) {
        encoder.EncodeNormal(&data.shared[f * 160], out);
        benchmark::DoNotOptimize(out);
        f = (f + 1) % kFrames;
    }
}
void LibgsmEncode(benchmark::State &state)
{
    gsm g = gsm_create();
    gsm_frame out;
    const Material &data = Data();
    std::vector<int16_t> pcm = data.pcm;
    int f = 0;
    for (auto _ : state) {
        gsm_encode(g, &pcm[f * 160], out);
        benchmark::DoNotOptimize(out);
        f = (f + 1) % kFrames;
    }
    gsm_destroy(g);
}
void OursGsmDecode(benchmark::State &state)
{
    LGSMDecoder decoder;
    int out[160];
    const Material &data = Data();
    int f = 0;
    for (auto _ : state) {
        decoder.DecodeFrameNormal(&data.gsmFrames[f * 33], out);
        benchmark::DoNotOptimize(out);
        f = (f + 1) % kFrames;
    }
}
void LibgsmDecode(benchmark::State &state)
{
    gsm g = gsm_create();
    int16_t out[160];
    const Material &data = Data();
    std::vector<unsigned char> frames = data.gsmFrames;
    int f = 0;
    for (auto _ : state) {
        gsm_decode(g, &frames[f * 33], out);
        benchmark::DoNotOptimize(out);
        f = (f + 1) % kFrames;
    }
    gsm_destroy(g);
}
void OursG726Encode(benchmark::State &state)
{
    LG726 codec;
    unsigned char out[80];
    const Material &data = Data();
    int f = 0;
    for (auto _ : state) {
        codec.EncodeBuffer(&data.shared[f * 160], 160, out);
        benchmark::DoNotOptimize(out);
        f = (f + 1) % kFrames;
    }
}
void SpandspG726Encode(benchmark::State &state)
{
    g726_state_t *s = g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_LEFT);
    uint8_t out[80];
    const Material &data = Data();
    int f = 0;
    for (auto _ : state) {
        g726_encode(s, out, &data.pcm[f * 160], 160);
        benchmark::DoNotOptimize(out);
        f = (f + 1) % kFrames;
    }
    g726_free(s);
}
void OursG726Decode(benchmark::State &state)
{
    LG726 codec;
    int out[160];
    const Material &data = Data();
    int f = 0;
    for (auto _ : state) {
        codec.DecodeBuffer(out, 160, &data.g726Bytes[f * 80]);
        benchmark::DoNotOptimize(out);
        f = (f + 1) % kFrames;
    }
}
void SpandspG726Decode(benchmark::State &state)
{
    g726_state_t *s = g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_LEFT);
    int16_t out[160];
    const Material &data = Data();
    int f = 0;
    for (auto _ : state) {
        g726_decode(s, out, &data.g726Bytes[f * 80], 80);
        benchmark::DoNotOptimize(out);
        f = (f + 1) % kFrames;
    }
    g726_free(s);
}
} // namespace

BENCHMARK(OursGsmEncode);
BENCHMARK(LibgsmEncode);
BENCHMARK(OursGsmDecode);
BENCHMARK(LibgsmDecode);
BENCHMARK(OursG726Encode);
BENCHMARK(SpandspG726Encode);
BENCHMARK(OursG726Decode);
BENCHMARK(SpandspG726Decode);
