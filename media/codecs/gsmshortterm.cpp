// GSM 06.10 sections 4.2.8 to 4.2.10 and 4.3.3/4.3.4: LAR decoding,
// interpolation between frames and the lattice filters.
#include "media/codecs/gsmcore.h"
#include "media/codecs/gsmmath.h"

using namespace LGSMMath;

namespace LGSMCore
{
const int kStretchStart[5] = {0, 13, 27, 40, 160};

namespace
{
const int kB[8] = {0, 0, 2048, -2560, 94, -1792, -341, -1144};
const int kMic[8] = {-32, -32, -16, -16, -8, -8, -4, -4};
const int kInvA[8] = {13107, 13107, 13107, 13107, 19223, 17476, 31454, 29708};

void DecodeLars(const int16_t *LARc, int16_t *LARpp)
{
    for (int i = 0; i < 8; i++) {
        int16_t temp = static_cast<int16_t>(Add(LARc[i], kMic[i]) << 10);
        temp = Sub(temp, kB[i] * 2);
        temp = MultR(kInvA[i], temp);
        LARpp[i] = Add(temp, temp);
    }
}

// Interpolation weights per stretch: the previous frame's LARs fade out over
// the first 40 samples.
int16_t Interpolate(int stretch, int previous, int current)
{
    switch (stretch) {
    case 0:
        return Add(Add(previous >> 2, current >> 2), previous >> 1);
    case 1:
        return Add(previous >> 1, current >> 1);
    case 2:
        return Add(Add(previous >> 2, current >> 2), current >> 1);
    default:
        return static_cast<int16_t>(current);
    }
}

int16_t LarToReflection(int lar)
{
    int temp = lar < 0 ? (lar == kMinWord ? kMaxWord : -lar) : lar;
    temp = temp < 11059 ? temp << 1 : (temp < 20070 ? temp + 11059 : Add(temp >> 2, 26112));
    return static_cast<int16_t>(lar < 0 ? -temp : temp);
}
} // namespace

void ShortTermCoefficients(const int16_t *LARc, const int16_t *previous, int16_t *current,
                           int16_t rp[4][8])
{
    DecodeLars(LARc, current);
    for (int stretch = 0; stretch < 4; stretch++) {
        for (int i = 0; i < 8; i++)
            rp[stretch][i] = LarToReflection(Interpolate(stretch, previous[i], current[i]));
    }
}

// The reflection coefficients are never -32768 (LarToReflection stays within
// +-32767), so their rounded products need no saturation check. The filter
// state is kept in locals so that it stays in registers across samples
// instead of being reloaded after every store through an int16_t pointer.
namespace
{
inline int16_t MultRCoefficient(int rp, int x)
{
    return static_cast<int16_t>((rp * x + 16384) >> 15);
}
} // namespace

void ShortTermAnalysis(int16_t *u, const int16_t *rp, int count, int16_t *s)
{
    int16_t state[8], r[8];
    for (int i = 0; i < 8; i++) {
        state[i] = u[i];
        r[i] = rp[i];
    }
    for (int k = 0; k < count; k++) {
        int16_t di = s[k];
        int16_t sav = di;
        for (int i = 0; i < 8; i++) {
            int16_t ui = state[i];
            state[i] = sav;
            sav = Add(ui, MultRCoefficient(r[i], di));
            di = Add(di, MultRCoefficient(r[i], ui));
        }
        s[k] = di;
    }
    for (int i = 0; i < 8; i++)
        u[i] = state[i];
}

void ShortTermSynthesis(int16_t *v, const int16_t *rp, int count, const int16_t *wt, int16_t *sr)
{
    int16_t state[9], r[8];
    for (int i = 0; i < 8; i++) {
        state[i] = v[i];
        r[i] = rp[i];
    }
    for (int k = 0; k < count; k++) {
        int16_t sri = wt[k];
        for (int i = 7; i >= 0; i--) {
            sri = Sub(sri, MultRCoefficient(r[i], state[i]));
            state[i + 1] = Add(state[i], MultRCoefficient(r[i], sri));
        }
        sr[k] = state[0] = sri;
    }
    for (int i = 0; i < 9; i++)
        v[i] = state[i];
}
} // namespace LGSMCore
