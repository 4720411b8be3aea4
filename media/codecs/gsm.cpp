#include "media/codecs/gsm.h"
#include "media/codecs/gsmcore.h"
#include "media/codecs/gsmmath.h"

#include <cstring>

void LGSMBase::Reset()
{
    memset(dp0, 0, sizeof(dp0));
    memset(LARpp, 0, sizeof(LARpp));
    memset(filter, 0, sizeof(filter));
    current = 0;
    lag = 40;
    emphasis[0] = emphasis[1] = emphasis[2] = 0;
}

// Offset compensation (a high-pass with pole 1023/1024) and pre-emphasis
// (zero at 880/1024) on the shared scale, ending at the half-scale 16-bit
// values the analysis expects.
void LGSMEncoder::Preprocess(const int *samples160, int16_t *out160)
{
    long long &accumulator = emphasis[0];
    long long &previousIn = emphasis[1];
    long long &previousY = emphasis[2];
    for (int k = 0; k < 160; k++) {
        long long x = samples160[k];
        accumulator += (x - previousIn) * 1024;
        long long y = (accumulator + 512) >> 10;
        accumulator -= y;
        previousIn = x;
        long long out = (y - ((880 * previousY + 512) >> 10) + 16) >> 5;
        previousY = y;
        out160[k] = LGSMMath::Saturate(
            static_cast<int32_t>(out < -32768 ? -32768 : (out > 32767 ? 32767 : out)));
    }
}

void LGSMEncoder::EncodeFrame(int16_t *s, LGSMFrame &frame)
{
    LGSMCore::LpcAnalysis(s, frame.LARc);
    int16_t rp[4][8];
    int16_t *now = LARpp[current];
    LGSMCore::ShortTermCoefficients(frame.LARc, LARpp[current ^ 1], now, rp);
    current ^= 1;
    const int *start = LGSMCore::kStretchStart;
    for (int stretch = 0; stretch < 4; stretch++)
        LGSMCore::ShortTermAnalysis(filter, rp[stretch], start[stretch + 1] - start[stretch],
                                    s + start[stretch]);

    // e[-5..-1] and e[40..44] stay zero for the weighting filter.
    int16_t eBuffer[50] = {};
    int16_t *e = eBuffer + 5;
    int16_t *dp = dp0 + 120;
    for (int k = 0; k < 4; k++) {
        LGSMSubFrame &sub = frame.sub[k];
        int16_t dpp[40];
        LGSMCore::LongTermPredictor(s + k * 40, dp, e, dpp, &sub.Nc, &sub.bc);
        LGSMCore::RpeEncoding(e, &sub.xmaxc, &sub.Mc, sub.xMc);
        for (int i = 0; i < 40; i++)
            dp[i] = LGSMMath::Add(e[i], dpp[i]);
        dp += 40;
    }
    memmove(dp0, dp0 + 160, 120 * sizeof(dp0[0]));
}

void LGSMEncoder::EncodeNormal(const int *samples160, unsigned char *out33)
{
    int16_t s[160];
    Preprocess(samples160, s);
    LGSMFrame frame;
    EncodeFrame(s, frame);
    frame.PackNormal(out33);
}

void LGSMDecoder::DecodeFrame(const LGSMFrame &frame, int16_t *sr)
{
    int16_t wt[160];
    int16_t *drp = dp0 + 120;
    for (int k = 0; k < 4; k++) {
        const LGSMSubFrame &sub = frame.sub[k];
        int16_t erp[40];
        LGSMCore::RpeDecoding(sub.xmaxc, sub.Mc, sub.xMc, erp);
        LGSMCore::LongTermSynthesis(lag, sub.Nc, sub.bc, erp, drp);
        memcpy(wt + k * 40, drp, 40 * sizeof(wt[0]));
    }
    int16_t rp[4][8];
    int16_t *now = LARpp[current];
    LGSMCore::ShortTermCoefficients(frame.LARc, LARpp[current ^ 1], now, rp);
    current ^= 1;
    const int *start = LGSMCore::kStretchStart;
    for (int stretch = 0; stretch < 4; stretch++)
        LGSMCore::ShortTermSynthesis(filter, rp[stretch], start[stretch + 1] - start[stretch],
                                     wt + start[stretch], sr + start[stretch]);
}

// De-emphasis back to the shared scale. The filter state is kept within the
// range the 16-bit reference keeps it in, and the output within 16 bits.
void LGSMDecoder::Postprocess(const int16_t *sr, int *samples160)
{
    long long &previous = emphasis[0];
    const long long limit = 32767LL * 32;
    for (int k = 0; k < 160; k++) {
        long long v = sr[k] * 32LL + ((880 * previous + 512) >> 10);
        v = v > limit ? limit : (v < -limit - 32 ? -limit - 32 : v);
        previous = v;
        samples160[k] = static_cast<int>(v > 0x7FFF0 ? 0x7FFF0 : (v < -0x80000 ? -0x80000 : v));
    }
}

void LGSMDecoder::DecodeFrameNormal(const unsigned char *in33, int *samples160)
{
    LGSMFrame frame;
    frame.UnpackNormal(in33);
    int16_t sr[160];
    DecodeFrame(frame, sr);
    Postprocess(sr, samples160);
}
