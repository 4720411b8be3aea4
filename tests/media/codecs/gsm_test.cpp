// GSM 06.10 against libgsm. The analysis and synthesis cores must give the
// same frames and samples as libgsm once both see the same pre-processed
// input; the input and output stages of the shared scale differ from the
// 16-bit ones by design, so the whole chain is checked for quality instead.
#include "media/codecs/gsm.h"
#include "media/codecs/gsmmath.h"
#include "speechsignal.h"

#include <gsm.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

using namespace LGSMMath;

namespace
{
// The 16-bit input stage of GSM 06.10 (downscaling, offset compensation,
// pre-emphasis), which libgsm applies before its analysis.
struct StandardPreprocess {
    int16_t z1 = 0, mp = 0;
    int32_t z2 = 0;
    void Run(const int16_t *in, int16_t *out)
    {
        for (int k = 0; k < 160; k++) {
            int16_t so = static_cast<int16_t>((in[k] >> 3) * 4);
            int16_t s1 = static_cast<int16_t>(so - z1);
            z1 = so;
            int32_t s2 = static_cast<int32_t>(s1) << 15;
            int16_t msp = static_cast<int16_t>(z2 >> 15);
            int16_t lsp = static_cast<int16_t>(z2 - (static_cast<int32_t>(msp) << 15));
            s2 += MultR(lsp, 32735);
            z2 = SatAdd(static_cast<int32_t>(msp) * 32735, s2);
            int32_t rounded = SatAdd(z2, 16384);
            int16_t emphasis = MultR(mp, -28180);
            mp = static_cast<int16_t>(rounded >> 15);
            out[k] = Add(mp, emphasis);
        }
    }
    static int32_t SatAdd(int32_t a, int32_t b)
    {
        long long sum = static_cast<long long>(a) + b;
        return static_cast<int32_t>(sum > INT32_MAX ? INT32_MAX
                                                    : (sum < INT32_MIN ? INT32_MIN : sum));
    }
};

// The matching 16-bit output stage (de-emphasis, upscaling, truncation).
struct StandardPostprocess {
    int16_t msr = 0;
    void Run(const int16_t *sr, int16_t *out)
    {
        for (int k = 0; k < 160; k++) {
            msr = Add(sr[k], MultR(msr, 28180));
            out[k] = static_cast<int16_t>(Add(msr, msr) & 0xFFF8);
        }
    }
};

std::vector<int16_t> Signal(unsigned seed)
{
    return MakeSpeechSignal(8000 * 10, seed);
}

// Frames as libgsm makes them from the same pre-processed input; samples
// as libgsm decodes its frames and arbitrary ones (bad lags, extreme gains
// and block maxima).
TEST(GSM, AnalysisAndSynthesisGiveLibgsmFramesAndSamples)
{
    for (unsigned seed : {2u, 17u}) {
        SCOPED_TRACE(seed);
        std::vector<int16_t> signal = Signal(seed);
        std::vector<std::vector<unsigned char>> frames;
        gsm encoder = gsm_create();
        LGSMEncoder ours;
        StandardPreprocess pre;
        for (size_t i = 0; i + 160 <= signal.size(); i += 160) {
            gsm_frame expected;
            gsm_encode(encoder, &signal[i], expected);
            frames.emplace_back(expected, expected + 33);
            int16_t s[160];
            pre.Run(&signal[i], s);
            LGSMFrame frame;
            ours.EncodeFrame(s, frame);
            unsigned char packed[33];
            frame.PackNormal(packed);
            ASSERT_EQ(0, memcmp(packed, expected, 33)) << "frame " << i / 160;
        }
        gsm_destroy(encoder);
        for (int f = 0; f < 300; f++) {
            std::vector<unsigned char> frame(33);
            for (unsigned char &byte : frame) {
                seed = seed * 1664525u + 1013904223u;
                byte = static_cast<unsigned char>(seed >> 24);
            }
            frame[0] = static_cast<unsigned char>(0xD0 | (frame[0] & 0x0F));
            frames.push_back(frame);
        }

        gsm decoder = gsm_create();
        LGSMDecoder ourDecoder;
        StandardPostprocess post;
        for (size_t f = 0; f < frames.size(); f++) {
            int16_t expected[160];
            ASSERT_EQ(gsm_decode(decoder, frames[f].data(), expected), 0);
            LGSMFrame frame;
            frame.UnpackNormal(frames[f].data());
            int16_t sr[160], out[160];
            ourDecoder.DecodeFrame(frame, sr);
            post.Run(sr, out);
            ASSERT_EQ(0, memcmp(out, expected, sizeof(out))) << "decoded frame " << f;
        }
        gsm_destroy(decoder);
    }
}

double SnrDb(const std::vector<int16_t> &a, const std::vector<double> &b)
{
    double signal = 0, noise = 0;
    for (size_t i = 0; i < b.size(); i++) {
        signal += double(a[i]) * a[i];
        noise += (a[i] - b[i]) * (a[i] - b[i]);
    }
    return 10 * std::log10(signal / (noise + 1));
}

TEST(GSM, SharedScaleChainMatchesLibgsmQuality)
{
    std::vector<int16_t> signal = Signal(23);
    size_t frames = signal.size() / 160;
    std::vector<double> viaLibgsm, viaOurs, mixedA, mixedB;
    gsm refEnc = gsm_create(), refDec = gsm_create(), refDec2 = gsm_create();
    LGSMEncoder enc;
    LGSMDecoder dec, dec2;
    for (size_t f = 0; f < frames; f++) {
        const int16_t *in = &signal[f * 160];
        int shared[160], out[160];
        int16_t out16[160];
        for (int i = 0; i < 160; i++)
            shared[i] = in[i] * 16;
        gsm_frame refFrame;
        unsigned char ourFrame[33];
        gsm_encode(refEnc, const_cast<int16_t *>(in), refFrame);
        enc.EncodeNormal(shared, ourFrame);
        ASSERT_EQ(ourFrame[0] >> 4, 0xD);

        gsm_decode(refDec, refFrame, out16);
        viaLibgsm.insert(viaLibgsm.end(), out16, out16 + 160);
        ASSERT_EQ(gsm_decode(refDec2, ourFrame, out16), 0);
        mixedA.insert(mixedA.end(), out16, out16 + 160);
        dec.DecodeFrameNormal(ourFrame, out);
        for (int i = 0; i < 160; i++)
            viaOurs.push_back(out[i] / 16.0);
        dec2.DecodeFrameNormal(refFrame, out);
        for (int i = 0; i < 160; i++)
            mixedB.push_back(out[i] / 16.0);
    }
    gsm_destroy(refEnc);
    gsm_destroy(refDec);
    gsm_destroy(refDec2);
    double reference = SnrDb(signal, viaLibgsm);
    printf("SNR dB: libgsm %.2f ours %.2f ours->libgsm %.2f libgsm->ours %.2f\n", reference,
           SnrDb(signal, viaOurs), SnrDb(signal, mixedA), SnrDb(signal, mixedB));
    EXPECT_GT(reference, 3.0);
    EXPECT_GT(SnrDb(signal, viaOurs), reference - 1.0);
    EXPECT_GT(SnrDb(signal, mixedA), reference - 1.0);
    EXPECT_GT(SnrDb(signal, mixedB), reference - 1.0);
}
} // namespace
