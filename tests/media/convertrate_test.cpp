// Sample-rate conversion: filter design, stage structure, and what happens
// to tones in the pass band and the stop band.
#include "media/convertrate.h"
#include "memorysource.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
TEST(ConvertRate, FilterDesignPhasesStepAndGain)
{
    // clang-format off
    const struct { int in, out, phases, step; } cases[] = {{44100, 8000, 39, 215}, {16000, 8000, 1, 2}, {8000, 44100, 11, 2}, {48000, 16000, 1, 3}, {11025, 8000, 37, 51}, {8000, 8000, 1, 1}};
    // clang-format on
    for (const auto &c : cases) {
        LConvertRateBase filter(c.in, c.out, 63, false);
        EXPECT_EQ(filter.Phases(), c.phases) << c.in << "->" << c.out;
        EXPECT_EQ(filter.Step(), c.step) << c.in << "->" << c.out;
        // Every phase passes DC at unity gain (16 fractional bits).
        for (int p = 0; p < filter.Phases(); p++) {
            long sum = 0;
            for (int t = 0; t < 63; t++)
                sum += filter.Coefficients(p)[t];
            EXPECT_NEAR(sum, 65536, 65536 * 0.02) << c.in << "->" << c.out << " phase " << p;
        }
    }
}

std::vector<int> Tone(int rate, int channels, int frames, double hz, int amplitude, int channel)
{
    std::vector<int> samples(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; i++)
        samples[i * channels + channel] =
            static_cast<int>(amplitude * std::sin(2 * M_PI * hz * i / rate));
    return samples;
}

double Rms(const std::vector<int> &s, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; i++)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / (to - from));
}

TEST(ConvertRate, StereoFileToTelephoneAudio)
{
    // Targets below a quarter of the source rate convert in two stages, the
    // others in one (each stage doubles the reported peak while it is small).
    // clang-format off
    const struct { int rate, peak; } cases[] = {{44100, 0x7FFF0 * 4}, {48000, 0x7FFF0 * 4}, {22050, 0x7FFF0 * 2}, {32000, 0x7FFF0 * 2}};
    // clang-format on
    for (const auto &c : cases) {
        for (int channel : {0, 1}) {
            LSoundSource source(
                new LTestMemorySource(Tone(c.rate, 2, c.rate, 1000, 0x40000, channel), c.rate, 2));
            LSPConvertSourceRateChannels(8000, 1, source);
            ASSERT_TRUE(source);
            EXPECT_EQ(source.GetSampleRate(), 8000);
            EXPECT_EQ(source.GetChannels(), 1);
            EXPECT_EQ(source.GetPeak(), c.peak) << c.rate;
            EXPECT_NEAR(source.GetEndSample(), 8000, 1);
            std::vector<int> out = ReadEverything(source);
            EXPECT_NEAR(static_cast<double>(out.size()), 8000, 1) << c.rate;
            double rms = Rms(out, 1000, 7000);
            if (channel == 0)
                EXPECT_NEAR(rms, 0x40000 / std::sqrt(2.0), 0x40000 * 0.05) << c.rate;
            else
                EXPECT_LT(rms, 1.0) << "right channel leaked at " << c.rate;
        }
    }
}

TEST(ConvertRate, StopBandToneIsRejected)
{
    // 6 kHz cannot exist at 8000 Hz; it must not alias down to 2 kHz.
    for (int rate : {44100, 48000, 16000}) {
        LSoundSource source(new LTestMemorySource(Tone(rate, 1, rate, 6000, 0x40000, 0), rate, 1));
        LSoundSource out8k = LSPConvertRate(8000).OpenSource(source);
        std::vector<int> out = ReadEverything(out8k);
        double db = 20 * std::log10(Rms(out, 1000, 7000) / (0x40000 / std::sqrt(2.0)));
        EXPECT_LT(db, -30) << rate;
    }
}

TEST(ConvertRate, UpsamplingKeepsToneAndSeekMatchesPlaying)
{
    LSoundSource source(new LTestMemorySource(Tone(8000, 1, 8000, 440, 0x40000, 0), 8000, 1));
    LSoundSource up = LSPConvertRate(44100).OpenSource(source);
    std::vector<int> out = ReadEverything(up);
    // 2 / 11 is the closest whole step to 8000 / 44100 within 0.001.
    EXPECT_EQ(static_cast<int>(out.size()), 44000);
    EXPECT_EQ(up.GetEndSample(), 44000);
    EXPECT_NEAR(Rms(out, 4410, 39600), 0x40000 / std::sqrt(2.0), 0x40000 * 0.03);
    up.Seek(22050);
    int again[100];
    ASSERT_EQ(up.Read(again, 100), 100);
    for (int i = 0; i < 100; i++)
        ASSERT_EQ(again[i], out[22050 + i]) << i;
    // Same rate: the source itself.
    EXPECT_EQ(LSPConvertRate(8000).OpenSource(source).Get(), source.Get());
}
} // namespace
