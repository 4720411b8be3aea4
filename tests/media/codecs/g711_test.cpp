// G.711 against spandsp's encoder and decoder (the ITU-T G.191 behaviour) for
// every 16-bit input and every code, in the single-sample and buffer forms.
#include "media/codecs/sampleformats.h"

#include <gtest/gtest.h>
#include <spandsp.h>

#include <vector>

namespace
{
template <class Code>
void ExpectLawAsReference(const char *name, unsigned char (*encode)(int),
                          int (*decode)(unsigned char), uint8_t (*refEncode)(int),
                          int16_t (*refDecode)(uint8_t))
{
    std::vector<int> inputs(65536), back(65536);
    for (int v = 0; v < 65536; v++)
        inputs[v] = (v - 32768) * 16;
    std::vector<Code> codes(65536);
    ConvertSamplesOut(codes.data(), inputs.data(), 65536);
    ConvertSamplesIn(back.data(), codes.data(), 65536);
    int mismatches = 0;
    for (int v = 0; v < 65536; v++) {
        uint8_t want = refEncode(v - 32768);
        bool same =
            codes[v].code == want && encode(inputs[v]) == want && back[v] == refDecode(want) * 16;
        if (!same && ++mismatches < 5)
            ADD_FAILURE() << name << " input " << v - 32768;
    }
    EXPECT_EQ(mismatches, 0) << name;
    Code all[256];
    int decoded[256];
    for (int c = 0; c < 256; c++)
        all[c].code = (unsigned char)c;
    ConvertSamplesIn(decoded, all, 256);
    for (int c = 0; c < 256; c++) {
        ASSERT_EQ(decode(c), refDecode(c) * 16) << name << " code " << c;
        ASSERT_EQ(decoded[c], refDecode(c) * 16) << name << " code " << c;
    }
}

TEST(G711, EveryInputAndCodeAsReference)
{
    ExpectLawAsReference<LSFULAW>(
        "mu-law", LG711::LinearToUlaw, LG711::UlawToLinear,
        [](int v) -> uint8_t { return linear_to_ulaw(v); },
        [](uint8_t c) -> int16_t { return ulaw_to_linear(c); });
    ExpectLawAsReference<LSFALAW>(
        "A-law", LG711::LinearToAlaw, LG711::AlawToLinear,
        [](int v) -> uint8_t { return linear_to_alaw(v); },
        [](uint8_t c) -> int16_t { return alaw_to_linear(c); });
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
}
} // namespace
