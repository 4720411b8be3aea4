// ITU-T G.726 at 32 kbit/s. The arithmetic keeps the recommendation's word
// widths (16-bit registers, floating-point multiplier) so that the codes and
// the reconstructed signal are those of the recommendation.
#include "media/codecs/g726.h"

#include <cstdlib>

namespace
{
// Normalised quantiser decision levels (the positive half).
const int kQuantTable[7] = {-124, 80, 178, 246, 300, 349, 400};
// Reconstruction levels, log domain, per code.
const int kDqlnTable[16] = {-2048, 4,   135, 213, 273, 323, 373, 425,
                            425,   373, 323, 273, 213, 135, 4,   -2048};
// Scale-factor multipliers W(I) times 32.
const int kWiTable[16] = {-384,  576,   1312, 2048, 3584, 6336, 11360, 35904,
                          35904, 11360, 6336, 3584, 2048, 1312, 576,   -384};
// Transition function F(I).
const int kFiTable[16] = {0,     0,     0,     0x200, 0x200, 0x200, 0x600, 0xE00,
                          0xE00, 0x600, 0x200, 0x200, 0x200, 0,     0,     0};

inline int Clamp(int value, int low, int high)
{
    return value < low ? low : (value > high ? high : value);
}

// Position of the highest set bit; -1 for zero.
inline int TopBit(unsigned value)
{
    return value ? 31 - __builtin_clz(value) : -1;
}

// FMULT: coefficient times a value in 4-bit exponent, 6-bit mantissa form.
// A zero coefficient counts as mantissa 32 with exponent -6; taking twice the
// magnitude (1 for zero) gives that case and the others from one formula,
// without a branch the predictor cannot learn.
inline int FloatMultiply(int an, int srn)
{
    int anmag = an > 0 ? an : ((-an) & 0x1FFF);
    unsigned doubled = anmag ? static_cast<unsigned>(anmag) << 1 : 1u;
    int top = TopBit(doubled);
    int anexp = top - 6;
    int anmant = static_cast<int>((doubled << 5) >> top);
    int wanexp = anexp + ((srn >> 6) & 0xF) - 13;
    int wanmant = (anmant * (srn & 0x3F) + 0x30) >> 4;
    // wanexp lies within -19..9: one shift of a 64-bit value covers both
    // directions.
    int product =
        static_cast<int>((static_cast<uint64_t>(wanmant) << 32) >> (32 - wanexp)) & 0x7FFF;
    int negative = (an ^ srn) >> 31;
    return (product ^ negative) - negative;
}

// LOG, SUBTB and QUAN: the code for difference d at scale y.
inline int Quantize(int d, int y)
{
    int magnitude = std::abs(d);
    int exponent = TopBit(magnitude >> 1) + 1;
    int mantissa = ((magnitude << 7) >> exponent) & 0x7F;
    int dln = (exponent << 7) + mantissa - (y >> 2);
    // The decision levels rise, so the interval is the count of levels
    // reached.
    int i = 0;
    for (int k = 0; k < 7; k++)
        i += dln >= kQuantTable[k];
    if (d < 0)
        return 15 - i;
    return i == 0 ? 15 : i;
}

// ADDA and ANTILOG: the quantised difference, sign in bit 15.
inline int Reconstruct(bool negative, int dqln, int y)
{
    int16_t dql = static_cast<int16_t>(dqln + (y >> 2));
    if (dql < 0)
        return negative ? -0x8000 : 0;
    int dex = (dql >> 7) & 15;
    int dqt = 128 + (dql & 127);
    int dq = (dqt << 7) >> (14 - dex);
    return negative ? dq - 0x8000 : dq;
}

// FLOAT A/B: a magnitude and sign in the 11-bit floating form.
inline int16_t ToFloat(int magnitude, bool negative)
{
    if (magnitude == 0)
        return static_cast<int16_t>(negative ? 0xFC20 : 0x20);
    int exponent = TopBit(magnitude) + 1;
    int value = (exponent << 6) + ((magnitude << 6) >> exponent);
    return static_cast<int16_t>(negative ? value - 0x400 : value);
}
} // namespace

void LG726::Reset()
{
    yl = 34816;
    yu = 544;
    dms = dml = ap = 0;
    td = false;
    for (int i = 0; i < 2; i++) {
        a[i] = 0;
        pk[i] = 0;
        sr[i] = 32;
    }
    for (int i = 0; i < 6; i++) {
        b[i] = 0;
        dq[i] = 32;
    }
}

// The per-sample steps are forced inline so that a whole buffer runs on a
// local copy of the state, held in registers, not reloaded after every store
// through the byte pointer.
#define G726_STEP [[gnu::always_inline]] inline

G726_STEP int LG726::StepSize() const
{
    if (ap >= 256)
        return yu;
    int y = yl >> 6;
    int dif = yu - y;
    int al = ap >> 2;
    // Rounds towards minus infinity either way (dif == 0 adds nothing); one
    // expression keeps the sign of dif from steering a branch.
    y += (dif * al + (dif < 0 ? 0x3F : 0)) >> 6;
    return y;
}

G726_STEP LG726::LPrediction LG726::Predict() const
{
    int zeros = 0;
    for (int i = 0; i < 6; i++)
        zeros += FloatMultiply(b[i] >> 2, dq[i]);
    int poles = FloatMultiply(a[1] >> 2, sr[1]) + FloatMultiply(a[0] >> 2, sr[0]);
    LPrediction p;
    p.sezi = static_cast<int16_t>(zeros);
    p.se = static_cast<int16_t>(p.sezi + poles) >> 1;
    p.y = StepSize();
    return p;
}

G726_STEP int LG726::Adapt(const LPrediction &p, int code)
{
    int16_t dqValue = static_cast<int16_t>(Reconstruct(code & 8, kDqlnTable[code], p.y));
    int16_t srValue =
        static_cast<int16_t>(dqValue < 0 ? p.se - (dqValue & 0x3FFF) : p.se + dqValue);
    int16_t dqsez = static_cast<int16_t>(srValue + (p.sezi >> 1) - p.se);
    Update(p.y, kWiTable[code], kFiTable[code], dqValue, srValue, dqsez);
    return srValue;
}

G726_STEP unsigned char LG726::EncodeStep(int sample)
{
    // The codec works on 14-bit linear input.
    int sl = static_cast<int>((static_cast<long long>(sample) + 32) >> 6);
    sl = sl > 8191 ? 8191 : (sl < -8192 ? -8192 : sl);
    LPrediction p = Predict();
    int code = Quantize(sl - p.se, p.y);
    Adapt(p, code);
    return static_cast<unsigned char>(code);
}

G726_STEP int LG726::DecodeStep(int code)
{
    return Adapt(Predict(), code & 0x0F) * 64;
}

unsigned char LG726::EncodeSample(int sample)
{
    return EncodeStep(sample);
}

int LG726::DecodeSample(unsigned char code)
{
    return DecodeStep(code);
}

G726_STEP void LG726::Update(int y, int wi, int fi, int dqValue, int srValue, int dqsez)
{
    int pk0 = dqsez < 0 ? 1 : 0;
    int magnitude = dqValue & 0x7FFF;
    // TRANS: a large difference while a tone was seen marks a modem signal.
    int ylint = yl >> 15;
    int ylfrac = (yl >> 10) & 0x1F;
    int thr = ylint > 9 ? (31 << 10) : ((32 + ylfrac) << ylint);
    int dqthr = (thr + (thr >> 1)) >> 1;
    bool transition = td && magnitude > dqthr;

    // FUNCTW, FILTD, LIMB, FILTE: scale factor adaptation.
    yu = static_cast<int16_t>(y + ((wi - y) >> 5));
    if (yu < 544)
        yu = 544;
    else if (yu > 5120)
        yu = 5120;
    yl += yu + ((-yl) >> 6);

    int16_t a2p = 0;
    if (transition) {
        a[0] = a[1] = 0;
        for (int i = 0; i < 6; i++)
            b[i] = 0;
    } else {
        UpdatePredictor(dqValue, dqsez, pk0, a2p);
    }

    for (int i = 5; i > 0; i--)
        dq[i] = dq[i - 1];
    dq[0] = ToFloat(magnitude, dqValue < 0);
    sr[1] = sr[0];
    if (srValue <= -32768)
        sr[0] = static_cast<int16_t>(0xFC20);
    else
        sr[0] = ToFloat(std::abs(srValue), srValue < 0);
    pk[1] = pk[0];
    pk[0] = static_cast<int16_t>(pk0);

    // TONE: a strongly negative second pole suggests a modem tone.
    td = !transition && a2p < -11776;
    UpdateSpeedControl(y, fi, transition);
}

// UPA2, LIMC, UPA1, LIMD and UPB.
G726_STEP void LG726::UpdatePredictor(int dqValue, int dqsez, int pk0, int16_t &a2p)
{
    int pks1 = pk0 ^ pk[0];
    a2p = static_cast<int16_t>(a[1] - (a[1] >> 7));
    if (dqsez != 0) {
        int fa1 = pks1 ? a[0] : -a[0];
        // The limits of FA1 and A2P written as clamps: the signs of pk
        // change unpredictably, which made branches here costly.
        a2p += Clamp(fa1, -8192, 8191) >> 5;
        a2p = static_cast<int16_t>(Clamp(a2p + ((pk0 ^ pk[1]) ? -0x80 : 0x80), -12288, 12288));
    }
    a[1] = a2p;

    a[0] -= a[0] >> 8;
    if (dqsez != 0)
        a[0] += pks1 == 0 ? 192 : -192;
    int a1ul = 15360 - a2p;
    if (a[0] < -a1ul)
        a[0] = static_cast<int16_t>(-a1ul);
    else if (a[0] > a1ul)
        a[0] = static_cast<int16_t>(a1ul);

    for (int i = 0; i < 6; i++) {
        b[i] -= b[i] >> 8;
        if (dqValue & 0x7FFF)
            b[i] += ((dqValue ^ dq[i]) >= 0) ? 128 : -128;
    }
}

// FILTA, FILTB, SUBTC and FILTC: adaptation speed control.
G726_STEP void LG726::UpdateSpeedControl(int y, int fi, bool transition)
{
    dms += static_cast<int16_t>((fi - dms) >> 5);
    dml += static_cast<int16_t>(((fi << 2) - dml) >> 7);
    if (transition)
        ap = 256;
    else if (y < 1536 || td || std::abs((dms << 2) - dml) >= (dml >> 3))
        ap += (0x200 - ap) >> 4;
    else
        ap += (-ap) >> 4;
}

void LG726::EncodeBuffer(const int *samples, int count, unsigned char *out)
{
    LG726 codec = *this;
    for (int i = 0; i + 1 < count; i += 2) {
        unsigned char high = codec.EncodeStep(samples[i]);
        unsigned char low = codec.EncodeStep(samples[i + 1]);
        out[i / 2] = static_cast<unsigned char>((high << 4) | low);
    }
    *this = codec;
}

void LG726::DecodeBuffer(int *samples, int count, const unsigned char *in)
{
    LG726 codec = *this;
    for (int i = 0; i + 1 < count; i += 2) {
        samples[i] = codec.DecodeStep(in[i / 2] >> 4);
        samples[i + 1] = codec.DecodeStep(in[i / 2] & 0x0F);
    }
    *this = codec;
}
