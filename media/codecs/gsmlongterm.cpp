// GSM 06.10 sections 4.2.11, 4.2.12 and 4.3.2: long-term (pitch) prediction.
#include "media/codecs/gsmcore.h"
#include "media/codecs/gsmmath.h"

using namespace LGSMMath;

namespace LGSMCore
{
namespace
{
const int kDlb[4] = {6554, 16384, 26214, 32767}; // gain decision levels
const int kQlb[4] = {3277, 11469, 21299, 32767}; // gain reconstruction levels

int FindLag(const int16_t *wt, const int16_t *dp, int32_t *maxCorrelation)
{
    int32_t best = 0;
    int lag = 40;
    for (int lambda = 40; lambda <= 120; lambda++) {
        int32_t sum = 0;
        for (int k = 0; k < 40; k++)
            sum += wt[k] * dp[k - lambda];
        if (sum > best) {
            best = sum;
            lag = lambda;
        }
    }
    *maxCorrelation = best;
    return lag;
}

int16_t CodeGain(const int16_t *dp, int lag, int32_t maxCorrelation)
{
    int32_t power = 0;
    for (int k = 0; k < 40; k++) {
        int32_t temp = dp[k - lag] >> 3;
        power += temp * temp;
    }
    power <<= 1;
    if (maxCorrelation <= 0)
        return 0;
    if (maxCorrelation >= power)
        return 3;
    int shift = Norm(power);
    int16_t R = static_cast<int16_t>((maxCorrelation << shift) >> 16);
    int16_t S = static_cast<int16_t>((power << shift) >> 16);
    int16_t bc = 0;
    while (bc <= 2 && R > Mult(S, kDlb[bc]))
        bc++;
    return bc;
}
} // namespace

void LongTermPredictor(const int16_t *d, const int16_t *dp, int16_t *e, int16_t *dpp, int16_t *Nc,
                       int16_t *bc)
{
    int dmax = 0;
    for (int k = 0; k < 40; k++) {
        int temp = Abs(d[k]);
        if (temp > dmax)
            dmax = temp;
    }
    int norm = dmax == 0 ? 0 : Norm(static_cast<int32_t>(dmax) << 16);
    int scale = norm > 6 ? 0 : 6 - norm;
    int16_t wt[40];
    for (int k = 0; k < 40; k++)
        wt[k] = static_cast<int16_t>(d[k] >> scale);

    int32_t correlation;
    int lag = FindLag(wt, dp, &correlation);
    correlation = (correlation << 1) >> (6 - scale);
    *Nc = static_cast<int16_t>(lag);
    *bc = CodeGain(dp, lag, correlation);

    int gain = kQlb[*bc];
    for (int k = 0; k < 40; k++) {
        dpp[k] = MultR(gain, dp[k - lag]);
        e[k] = Sub(d[k], dpp[k]);
    }
}

void LongTermSynthesis(int16_t &nrp, int Ncr, int bcr, const int16_t *erp, int16_t *drp)
{
    // A lag outside 40..120 is a transmission error: keep the last good one.
    int lag = (Ncr < 40 || Ncr > 120) ? nrp : Ncr;
    nrp = static_cast<int16_t>(lag);
    int gain = kQlb[bcr & 3];
    for (int k = 0; k < 40; k++)
        drp[k] = Add(erp[k], MultR(gain, drp[k - lag]));
    for (int k = 0; k < 120; k++)
        drp[-120 + k] = drp[-80 + k];
}
} // namespace LGSMCore
