// Source handles, channel conversion and the peak limiter.
#include "media/convchannels.h"
#include "media/peaklimit.h"
#include "memorysource.h"

#include <gtest/gtest.h>

#include <climits>

namespace
{
TEST(SoundSource, HandlesShareTheLastOneDeletesAndClosedOrBadOnesReadSilence)
{
    int destroyed = 0;
    {
        LSoundSource a(new LTestMemorySource({1, 2, 3}, 8000, 1, &destroyed));
        LSoundSource b = a, c;
        c = b;
        a.Close();
        b = a;
        EXPECT_EQ(destroyed, 0);
        EXPECT_TRUE(c);
        EXPECT_EQ(c.GetEnd().Milliseconds(), 0);
        int samples[4] = {9, 9, 9, 9};
        EXPECT_EQ(b.Read(samples, 4), 0);
        EXPECT_EQ(samples[3], 0);
        EXPECT_FALSE(b);
    }
    EXPECT_EQ(destroyed, 1);
    LSoundSource bad(new LTestMemorySource({}, 0, 0));
    EXPECT_FALSE(bad);
    EXPECT_GT(bad.GetSampleRate(), 0); // never a rate to divide by zero with
    EXPECT_EQ(bad.GetChannels(), 1);
}

TEST(ChannelConversion, StereoToMonoKeepsLeftAndMonoToStereoDuplicates)
{
    LSoundSource stereo(new LTestMemorySource({1, 100, 2, 200, 3, 300}, 8000, 2));
    LSoundSource mono = LSPConvChannels(1).OpenSource(stereo);
    EXPECT_EQ(mono.GetChannels(), 1);
    EXPECT_EQ(ReadEverything(mono), (std::vector<int>{1, 2, 3}));

    LSoundSource single(new LTestMemorySource({7, 8}, 8000, 1));
    LSoundSource both = LSPConvChannels(2).OpenSource(single);
    EXPECT_EQ(ReadEverything(both), (std::vector<int>{7, 7, 8, 8}));

    LSoundSource same = LSPConvChannels(1).OpenSource(single);
    EXPECT_EQ(same.Get(), single.Get());
    LSoundSource closed;
    EXPECT_EQ(LSPConvChannels(2).OpenSource(closed).Get(), closed.Get());
}

// Block length at 7000 Hz: 200 frames.
constexpr int kRate = 7000;
constexpr int kBlock = 200;

TEST(PeakLimit, QuietMaterialPassesUnchanged)
{
    std::vector<int> samples(kBlock * 10);
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = static_cast<int>((i * 7919) % 0xFFFE0) - 0x7FFF0;
    LSoundSource input(new LTestMemorySource(samples, kRate, 1));
    LSoundSource limited = LSPPeakLimit(0x7FFF0).OpenSource(input);
    EXPECT_EQ(ReadEverything(limited), samples);
}

TEST(PeakLimit, LoudPassageIsAttenuatedAheadAndKeptWithinThePeak)
{
    const struct {
        int loud, channels;
    } cases[] = {{0x7FFF0 * 4, 1}, {INT_MAX, 2}, {INT_MIN, 1}, {0x3FFFFF * 2, 2}};
    for (const auto &c : cases) {
        // Eight quiet blocks, a loud one at block 8, then quiet again.
        std::vector<int> samples(kBlock * 14 * c.channels);
        for (size_t i = 0; i < samples.size(); i++) {
            int frame = static_cast<int>(i) / c.channels;
            bool loud = frame / kBlock == 8;
            samples[i] = loud ? (i % 2 ? c.loud : -(c.loud / 2)) : ((i % 3) ? 0x40000 : -0x40000);
        }
        LSoundSource input(new LTestMemorySource(samples, kRate, c.channels));
        LSoundSource limited = LSPPeakLimit(0x7FFF0).OpenSource(input);
        std::vector<int> out = ReadEverything(limited);
        ASSERT_EQ(out.size(), samples.size());
        long long peak =
            GetBufferPeak(out.data(), static_cast<int>(out.size()) / c.channels, c.channels);
        EXPECT_LE(peak, 0x7FFF0) << c.loud;
        size_t blockSamples = kBlock * c.channels;
        // Untouched until the loud block is two ahead...
        for (size_t i = 0; i < 6 * blockSamples; i++)
            ASSERT_EQ(out[i], samples[i]) << c.loud << " sample " << i;
        // ...then falling smoothly through the two blocks before it.
        long long before = std::abs(static_cast<long long>(out[7 * blockSamples - 1]));
        long long later = std::abs(static_cast<long long>(out[8 * blockSamples - 1]));
        EXPECT_LT(before, 0x40000) << c.loud;
        EXPECT_LT(later, before) << c.loud;
    }
}

TEST(PeakLimit, SeekRestartsTheLookAhead)
{
    std::vector<int> samples(kBlock * 6, 0x100000);
    LSoundSource input(new LTestMemorySource(samples, kRate, 1));
    LSoundSource limited = LSPPeakLimit(0x80000).OpenSource(input);
    std::vector<int> first = ReadEverything(limited);
    limited.Seek(0);
    EXPECT_EQ(limited.GetPositionSample(), 0);
    EXPECT_EQ(ReadEverything(limited), first);
    EXPECT_LE(GetBufferPeak(first.data(), static_cast<int>(first.size()), 1), 0x80000);
}

TEST(AudioBuffer, PeakOfTheMostNegativeSampleDoesNotOverflow)
{
    int samples[4] = {3, INT_MIN, 7, -2};
    EXPECT_EQ(GetBufferPeak(samples, 4, 1), 2147483648LL);
}
} // namespace
