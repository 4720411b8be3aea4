// G.711 against spandsp's encoder and decoder (the ITU-T G.191 behaviour) for
// every 16-bit input and every code.
#include "media/codecs/sampleformats.h"

#include <gtest/gtest.h>
#include <spandsp.h>

namespace
{
struct Law {
    const char *name;
    unsigned char (*ours)(int);
    int (*oursIn)(unsigned char);
    unsigned char (*reference)(int);
    int16_t (*referenceIn)(uint8_t);
};

unsigned char RefUlaw(int v)
{
    return linear_to_ulaw(v);
}
unsigned char RefAlaw(int v)
{
    return linear_to_alaw(v);
}
int16_t RefUlawIn(uint8_t c)
{
    return ulaw_to_linear(c);
}
int16_t RefAlawIn(uint8_t c)
{
    return alaw_to_linear(c);
}

const Law kLaws[] = {
    {"mu-law", LG711::LinearToUlaw, LG711::UlawToLinear, RefUlaw, RefUlawIn},
    {"A-law", LG711::LinearToAlaw, LG711::AlawToLinear, RefAlaw, RefAlawIn},
};

TEST(G711, EveryInputEncodesAsReference)
{
    for (const Law &law : kLaws) {
        int mismatches = 0;
        for (int v = -32768; v <= 32767; v++) {
            if (law.ours(v * 16) != law.reference(v) && ++mismatches < 5)
                ADD_FAILURE() << law.name << " input " << v;
        }
        EXPECT_EQ(mismatches, 0) << law.name;
    }
}

TEST(G711, EveryCodeDecodesAsReference)
{
    for (const Law &law : kLaws) {
        for (int c = 0; c < 256; c++)
            ASSERT_EQ(law.oursIn(c), law.referenceIn(c) * 16) << law.name << " code " << c;
    }
}

TEST(G711, BufferFormsMatchSingleSampleForms)
{
    int samples[512];
    for (int i = 0; i < 512; i++)
        samples[i] = (i - 256) * 1021 + (i % 7);
    LSFULAW ulaw[512];
    LSFALAW alaw[512];
    ConvertSamplesOut(ulaw, samples, 512);
    ConvertSamplesOut(alaw, samples, 512);
    int back[512];
    ConvertSamplesIn(back, ulaw, 512);
    for (int i = 0; i < 512; i++) {
        ASSERT_EQ(ulaw[i].code, LG711::LinearToUlaw(samples[i]));
        ASSERT_EQ(back[i], LG711::UlawToLinear(ulaw[i].code));
    }
    ConvertSamplesIn(back, alaw, 512);
    for (int i = 0; i < 512; i++) {
        ASSERT_EQ(alaw[i].code, LG711::LinearToAlaw(samples[i]));
        ASSERT_EQ(back[i], LG711::AlawToLinear(alaw[i].code));
    }
}

TEST(G711, InputBeyondSixteenBitsKeepsTheLargestCodes)
{
    // Far beyond the 16-bit range the largest codes are kept.
    EXPECT_EQ(LG711::LinearToUlaw(0x7FFFFFF0), 0x80);
    EXPECT_EQ(LG711::LinearToUlaw(-0x7FFFFFF0), 0x00);
    EXPECT_EQ(LG711::LinearToAlaw(0x7FFFFFF0), 0xAA);
    EXPECT_EQ(LG711::LinearToAlaw(-0x7FFFFFF0), 0x2A);
}

TEST(LinearPcm, ScalesAndRoundsExactly)
{
    // clang-format off
    const struct { int sample, written16, writtenU8; } cases[] = {
        {0, 0, 128}, {7, 0, 128}, {8, 1, 128}, {-8, 0, 128}, {-9, -1, 128}, {2047, 128, 128}, {2048, 128, 129},
        {0x7FFF0, 32767, 255}, {0x7FFFFFFF, 32767, 255}, {-0x7FFFFFFF, -32768, 0}, {-0x80000, -32768, 0},
    };
    // clang-format on
    for (const auto &c : cases) {
        LSF16 pcm;
        LSFU8 u8;
        ConvertSamplesOut(&pcm, &c.sample, 1);
        ConvertSamplesOut(&u8, &c.sample, 1);
        EXPECT_EQ(static_cast<short>(pcm.low | (pcm.high << 8)), c.written16) << c.sample;
        EXPECT_EQ(u8.value, c.writtenU8) << c.sample;
    }
    const LSF16 in16[2] = {{0x00, 0x80}, {0xFF, 0x7F}};
    const LSFU8 in8[3] = {{0}, {128}, {255}};
    int out[3];
    ConvertSamplesIn(out, in16, 2);
    EXPECT_EQ(out[0], -32768 * 16);
    EXPECT_EQ(out[1], 32767 * 16);
    ConvertSamplesIn(out, in8, 3);
    EXPECT_EQ(out[0], -128 << 12);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 127 << 12);
}
} // namespace
