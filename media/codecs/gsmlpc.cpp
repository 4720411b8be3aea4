// GSM 06.10 sections 4.2.4 to 4.2.7: autocorrelation, Schur recursion,
// log-area ratios and their quantisation.
#include "media/codecs/gsmcore.h"
#include "media/codecs/gsmmath.h"

using namespace LGSMMath;

namespace LGSMCore
{
namespace
{
void Autocorrelation(int16_t *s, int32_t *acf)
{
    int smax = 0;
    for (int k = 0; k < 160; k++) {
        int temp = Abs(s[k]);
        if (temp > smax)
            smax = temp;
    }
    int scale = smax == 0 ? 0 : 4 - Norm(static_cast<int32_t>(smax) << 16);
    if (scale > 0) {
        for (int k = 0; k < 160; k++)
            s[k] = MultR(s[k], 16384 >> (scale - 1));
    }
    for (int k = 0; k < 9; k++) {
        int32_t sum = 0;
        for (int i = k; i < 160; i++)
            sum += s[i] * s[i - k];
        acf[k] = sum << 1;
    }
    // The scaled-down samples are what the analysis filter sees afterwards.
    if (scale > 0) {
        for (int k = 0; k < 160; k++)
            s[k] = static_cast<int16_t>(s[k] << scale);
    }
}

void ReflectionCoefficients(const int32_t *acfLong, int16_t *r)
{
    for (int i = 0; i < 8; i++)
        r[i] = 0;
    if (acfLong[0] == 0)
        return;
    int shift = Norm(acfLong[0]);
    int16_t P[9], K[9];
    for (int i = 0; i <= 8; i++)
        P[i] = K[i] = static_cast<int16_t>((acfLong[i] << shift) >> 16);
    for (int n = 1; n <= 8; n++) {
        int16_t temp = Abs(P[1]);
        if (P[0] < temp)
            return;
        int16_t rn = Div(temp, P[0]);
        if (P[1] > 0)
            rn = static_cast<int16_t>(-rn);
        r[n - 1] = rn;
        if (n == 8)
            return;
        P[0] = Add(P[0], MultR(P[1], rn));
        for (int m = 1; m <= 8 - n; m++) {
            P[m] = Add(P[m + 1], MultR(K[m], rn));
            K[m] = Add(K[m], MultR(P[m + 1], rn));
        }
    }
}

const int kA[8] = {20480, 20480, 20480, 20480, 13964, 15360, 8534, 9036};
const int kB[8] = {0, 0, 2048, -2560, 94, -1792, -341, -1144};
const int kMac[8] = {31, 31, 15, 15, 7, 7, 3, 3};
const int kMic[8] = {-32, -32, -16, -16, -8, -8, -4, -4};

void QuantizeLars(const int16_t *r, int16_t *LARc)
{
    for (int i = 0; i < 8; i++) {
        int temp = Abs(r[i]);
        if (temp < 22118)
            temp >>= 1;
        else if (temp < 31130)
            temp -= 11059;
        else
            temp = (temp - 26112) << 2;
        int16_t lar = static_cast<int16_t>(r[i] < 0 ? -temp : temp);
        int16_t q = Add(Add(Mult(kA[i], lar), kB[i]), 256);
        q = static_cast<int16_t>(q >> 9);
        LARc[i] =
            static_cast<int16_t>(q > kMac[i] ? kMac[i] - kMic[i] : (q < kMic[i] ? 0 : q - kMic[i]));
    }
}
} // namespace

void LpcAnalysis(int16_t *s, int16_t *LARc)
{
    int32_t acf[9];
    int16_t r[8];
    Autocorrelation(s, acf);
    ReflectionCoefficients(acf, r);
    QuantizeLars(r, LARc);
}
} // namespace LGSMCore
