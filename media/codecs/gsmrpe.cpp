// GSM 06.10 sections 4.2.13 to 4.2.17 and 4.3.1: regular pulse excitation.
#include "media/codecs/gsmcore.h"
#include "media/codecs/gsmmath.h"

using namespace LGSMMath;

namespace LGSMCore
{
namespace
{
const int kH[11] = {-134, -374, 0, 2054, 5741, 8192, 5741, 2054, 0, -374, -134};
const int kNrFac[8] = {29128, 26215, 23832, 21846, 20165, 18725, 17476, 16384};
const int kFac[8] = {18431, 20479, 22527, 24575, 26623, 28671, 30719, 32767};

void WeightingFilter(const int16_t *e, int16_t *x)
{
    for (int k = 0; k < 40; k++) {
        int32_t sum = 4096;
        for (int i = 0; i < 11; i++)
            sum += e[k + i - 5] * kH[i];
        x[k] = Saturate(sum >> 13);
    }
}

int SelectGrid(const int16_t *x)
{
    int32_t best = 0;
    int grid = 0;
    for (int m = 0; m < 4; m++) {
        int32_t energy = 0;
        for (int i = 0; i < 13; i++) {
            int32_t temp = x[m + 3 * i] >> 2;
            energy += temp * temp;
        }
        if (energy > best) {
            grid = m;
            best = energy;
        }
    }
    return grid;
}

void XmaxcToExpMant(int xmaxc, int *exponent, int *mantissa)
{
    int exp = xmaxc > 15 ? (xmaxc >> 3) - 1 : 0;
    int mant = xmaxc - (exp << 3);
    if (mant == 0) {
        exp = -4;
        mant = 7;
    } else {
        while (mant <= 7) {
            mant = mant << 1 | 1;
            exp--;
        }
        mant -= 8;
    }
    *exponent = exp;
    *mantissa = mant;
}

int16_t QuantizeBlock(const int16_t *xM, int16_t *xMc)
{
    int xmax = 0;
    for (int i = 0; i < 13; i++) {
        int temp = Abs(xM[i]);
        if (temp > xmax)
            xmax = temp;
    }
    int exp = 0;
    int temp = xmax >> 9;
    bool reached = false;
    for (int i = 0; i < 6; i++) {
        reached |= temp <= 0;
        temp >>= 1;
        if (!reached)
            exp++;
    }
    int16_t xmaxc = Add(xmax >> (exp + 5), exp << 3);
    int mant;
    XmaxcToExpMant(xmaxc, &exp, &mant);
    for (int i = 0; i < 13; i++) {
        int16_t scaled = static_cast<int16_t>(xM[i] << (6 - exp));
        xMc[i] = static_cast<int16_t>((Mult(scaled, kNrFac[mant]) >> 12) + 4);
    }
    return xmaxc;
}

void InverseQuantize(const int16_t *xMc, int xmaxc, int16_t *xMp)
{
    int exp, mant;
    XmaxcToExpMant(xmaxc, &exp, &mant);
    int shift = Sub(6, exp);
    int16_t rounding = Asl(1, Sub(shift, 1));
    for (int i = 0; i < 13; i++) {
        int16_t temp = static_cast<int16_t>(((xMc[i] << 1) - 7) << 12);
        temp = Add(MultR(kFac[mant], temp), rounding);
        xMp[i] = Asr(temp, shift);
    }
}

void PlaceOnGrid(int Mc, const int16_t *xMp, int16_t *ep)
{
    for (int k = 0; k < 40; k++)
        ep[k] = 0;
    for (int i = 0; i < 13; i++)
        ep[(Mc & 3) + 3 * i] = xMp[i];
}
} // namespace

void RpeEncoding(int16_t *e, int16_t *xmaxc, int16_t *Mc, int16_t *xMc)
{
    int16_t x[40], xM[13], xMp[13];
    WeightingFilter(e, x);
    int grid = SelectGrid(x);
    for (int i = 0; i < 13; i++)
        xM[i] = x[grid + 3 * i];
    *Mc = static_cast<int16_t>(grid);
    *xmaxc = QuantizeBlock(xM, xMc);
    InverseQuantize(xMc, *xmaxc, xMp);
    PlaceOnGrid(grid, xMp, e);
}

void RpeDecoding(int xmaxc, int Mc, const int16_t *xMc, int16_t *erp)
{
    int16_t xMp[13];
    InverseQuantize(xMc, xmaxc, xMp);
    PlaceOnGrid(Mc, xMp, erp);
}
} // namespace LGSMCore
