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

g726_state_t *Reference()
{
    return g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_LEFT);
}

// Codes as spandsp makes them from a speech-like signal, and samples as it
// decodes those codes with arbitrary ones in the second half (which drive
// the predictor into its limits); 20 ms packets, as RTP carries them.
TEST(G726, EncodesAndDecodesAsReference)
{
    for (unsigned seed : {1u, 7u, 99u}) {
        SCOPED_TRACE(seed);
        std::vector<int16_t> signal = Make14BitSignal(8000 * 12, seed);
        int count = static_cast<int>(signal.size());
        std::vector<uint8_t> codes(count / 2), ours(count / 2);
        g726_state_t *encoder = Reference();
        ASSERT_EQ(g726_encode(encoder, codes.data(), signal.data(), count), count / 2);
        g726_free(encoder);
        std::vector<int> shared(count);
        for (int i = 0; i < count; i++)
            shared[i] = signal[i] * 16;
        LG726 codec;
        for (int i = 0; i < count; i += 160)
            codec.EncodeBuffer(&shared[i], 160, &ours[i / 2]);
        for (int i = 0; i < count / 2; i++)
            ASSERT_EQ(ours[i], codes[i]) << "byte " << i;

        for (int i = count / 4; i < count / 2; i++) {
            seed = seed * 1664525u + 1013904223u;
            codes[i] = static_cast<uint8_t>(seed >> 24);
        }
        std::vector<int16_t> reference(count);
        g726_state_t *decoder = Reference();
        ASSERT_EQ(g726_decode(decoder, reference.data(), codes.data(), count / 2), count);
        g726_free(decoder);
        LG726 ourDecoder;
        for (int i = 0; i < count; i += 160)
            ourDecoder.DecodeBuffer(&shared[i], 160, &codes[i / 2]);
        for (int i = 0; i < count; i++) {
            // spandsp returns sr << 2 as a 16-bit value, which wraps when the
            // reconstruction overshoots the 14-bit range; ours keeps the value.
            ASSERT_EQ(shared[i] % 64, 0) << "sample " << i;
            ASSERT_EQ(static_cast<int16_t>(shared[i] / 16), reference[i]) << "sample " << i;
        }
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
