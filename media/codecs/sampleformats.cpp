#include "media/codecs/sampleformats.h"

namespace
{
// Highest set bit of a positive value below 2^16 (0 for 1).
int TopBit(int value)
{
    int bit = 0;
    while (value >> (bit + 1))
        bit++;
    return bit;
}
} // namespace

namespace LG711
{
// Reconstruction per ITU-T G.711: segment base (132 << k) − 132, step 8 << k.
int UlawToLinear(unsigned char code)
{
    int inverted = ~code & 0xFF;
    int segment = (inverted >> 4) & 7;
    int magnitude = ((((inverted & 0x0F) << 3) + 132) << segment) - 132;
    return (inverted & 0x80) ? -magnitude * 16 : magnitude * 16;
}

// Works on the 16-bit value the sample is written as, so that a stored 16-bit
// sample encodes exactly as the ITU-T reference encoders do: the bias of 132
// places every decision halfway between two reconstruction levels.
unsigned char LinearToUlaw(int sample)
{
    int v = SampleTo16(sample);
    int mask = v < 0 ? 0x7F : 0xFF;
    int biased = (v < 0 ? -v : v) + 132;
    if (biased > 0x7FFF)
        return static_cast<unsigned char>(0x7F ^ mask);
    int segment = TopBit(biased | 0xFF) - 7;
    int mantissa = (biased >> (segment + 3)) & 0x0F;
    return static_cast<unsigned char>(((segment << 4) | mantissa) ^ mask);
}

int AlawToLinear(unsigned char code)
{
    int bits = code ^ 0x55;
    int segment = (bits >> 4) & 7;
    int magnitude = ((bits & 0x0F) << 4) + 8;
    if (segment)
        magnitude = (magnitude + 256) << (segment - 1);
    return (bits & 0x80) ? magnitude * 16 : -magnitude * 16;
}

// A-law truncates towards zero; negative values use the one's complement
// magnitude (−v − 1) as ITU-T G.191 does, so −1 to −16 share the lowest code.
unsigned char LinearToAlaw(int sample)
{
    int v = SampleTo16(sample);
    int sign = v >= 0 ? 0x80 : 0;
    int magnitude = v >= 0 ? v : -v - 1;
    int segment = TopBit(magnitude | 0xFF) - 7;
    int mantissa = (magnitude >> (segment ? segment + 3 : 4)) & 0x0F;
    return static_cast<unsigned char>((sign | (segment << 4) | mantissa) ^ 0x55);
}
} // namespace LG711

namespace
{
struct LG711Tables {
    int ulaw[256];
    int alaw[256];
    LG711Tables()
    {
        for (int i = 0; i < 256; i++) {
            ulaw[i] = LG711::UlawToLinear(static_cast<unsigned char>(i));
            alaw[i] = LG711::AlawToLinear(static_cast<unsigned char>(i));
        }
    }
};

const LG711Tables &Tables()
{
    static const LG711Tables tables;
    return tables;
}
} // namespace

template <> void ConvertSamplesIn<LSFULAW>(int *out, const LSFULAW *in, int count)
{
    const int *table = Tables().ulaw;
    for (int i = 0; i < count; i++)
        out[i] = table[in[i].code];
}

template <> void ConvertSamplesOut<LSFULAW>(LSFULAW *out, const int *in, int count)
{
    for (int i = 0; i < count; i++)
        out[i].code = LG711::LinearToUlaw(in[i]);
}

template <> void ConvertSamplesIn<LSFALAW>(int *out, const LSFALAW *in, int count)
{
    const int *table = Tables().alaw;
    for (int i = 0; i < count; i++)
        out[i] = table[in[i].code];
}

template <> void ConvertSamplesOut<LSFALAW>(LSFALAW *out, const int *in, int count)
{
    for (int i = 0; i < count; i++)
        out[i].code = LG711::LinearToAlaw(in[i]);
}

template <> void ConvertSamplesIn<LSF16>(int *out, const LSF16 *in, int count)
{
    for (int i = 0; i < count; i++)
        out[i] = static_cast<short>(in[i].low | (in[i].high << 8)) * 16;
}

template <> void ConvertSamplesOut<LSF16>(LSF16 *out, const int *in, int count)
{
    for (int i = 0; i < count; i++) {
        int v = SampleTo16(in[i]);
        out[i].low = static_cast<unsigned char>(v & 0xFF);
        out[i].high = static_cast<unsigned char>((v >> 8) & 0xFF);
    }
}

template <> void ConvertSamplesIn<LSFU8>(int *out, const LSFU8 *in, int count)
{
    for (int i = 0; i < count; i++)
        out[i] = (in[i].value - 128) * 4096;
}

template <> void ConvertSamplesOut<LSFU8>(LSFU8 *out, const int *in, int count)
{
    for (int i = 0; i < count; i++) {
        long long v = ((static_cast<long long>(in[i]) + 2048) >> 12) + 128;
        out[i].value = static_cast<unsigned char>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
}
