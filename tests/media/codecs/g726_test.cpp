// G.726-32 against spandsp, codes and reconstructed samples alike.
#include "media/codecs/g726.h"
#include "speechsignal.h"

#include <gtest/gtest.h>
#include <spandsp.h>

#include <vector>

namespace
{
// spandsp reads 14-bit input as amp >> 2; multiples of 4 reach both coders
// as the same 14-bit value.
std::vector<int16_t> Make14BitSignal(int samples, unsigned seed)
{
    std::vector<int16_t> signal = MakeSpeechSignal(samples, seed);
    for (int16_t &v : signal)
        v = static_cast<int16_t>(v & ~3);
    return signal;
}

TEST(G726, EncodesAsReference)
{
    for (unsigned seed : {1u, 7u, 99u}) {
        std::vector<int16_t> signal = Make14BitSignal(8000 * 12, seed);
        int count = static_cast<int>(signal.size());
        std::vector<uint8_t> reference(count / 2);
        g726_state_t *ref = g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_LEFT);
        ASSERT_EQ(g726_encode(ref, reference.data(), signal.data(), count), count / 2);
        g726_free(ref);

        std::vector<int> shared(count);
        for (int i = 0; i < count; i++)
            shared[i] = signal[i] * 16;
        std::vector<uint8_t> ours(count / 2);
        LG726 codec;
        // 20 ms packets, as RTP carries them.
        for (int i = 0; i < count; i += 160)
            codec.EncodeBuffer(&shared[i], 160, &ours[i / 2]);
        for (int i = 0; i < count / 2; i++)
            ASSERT_EQ(ours[i], reference[i]) << "seed " << seed << " byte " << i;
    }
}

TEST(G726, DecodesAsReference)
{
    // Codes from a real encoding and arbitrary codes (which drive the
    // predictor into its limits).
    std::vector<int16_t> signal = Make14BitSignal(8000 * 10, 3);
    int count = static_cast<int>(signal.size());
    std::vector<uint8_t> codes(count / 2);
    g726_state_t *enc = g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_LEFT);
    g726_encode(enc, codes.data(), signal.data(), count);
    g726_free(enc);
    unsigned seed = 5;
    for (int i = count / 4; i < count / 2; i++) {
        seed = seed * 1664525u + 1013904223u;
        codes[i] = static_cast<uint8_t>(seed >> 24);
    }

    std::vector<int16_t> reference(count);
    g726_state_t *dec = g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_LEFT);
    ASSERT_EQ(g726_decode(dec, reference.data(), codes.data(), count / 2), count);
    g726_free(dec);

    std::vector<int> ours(count);
    LG726 codec;
    for (int i = 0; i < count; i += 160)
        codec.DecodeBuffer(&ours[i], 160, &codes[i / 2]);
    for (int i = 0; i < count; i++) {
        // spandsp returns sr << 2 as a 16-bit value, which wraps when the
        // reconstruction overshoots the 14-bit range; ours keeps the value.
        ASSERT_EQ(ours[i] % 64, 0) << "sample " << i;
        ASSERT_EQ(static_cast<int16_t>(ours[i] / 16), reference[i]) << "sample " << i;
    }
}

// The single-sample form, at full scale (0x7FFF0 rounds to 8192, one beyond
// the 14-bit range: it must saturate, not wrap); after a reset it starts over.
TEST(G726, FullScaleSamplesSaturateAndResetStartsOver)
{
    LG726 ours;
    for (int pass = 0; pass < 2; pass++) {
        g726_state_t *ref = g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_NONE);
        for (int i = 0; i < 400; i++) {
            int16_t amp = (i / 20) % 2 ? 32767 : -32768;
            uint8_t code;
            g726_encode(ref, &code, &amp, 1);
            ASSERT_EQ(ours.EncodeSample(amp * 16), code) << "pass " << pass << " sample " << i;
        }
        g726_free(ref);
        ours.Reset();
    }
}
} // namespace
