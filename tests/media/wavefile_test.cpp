// Wave file reading: formats, sizes and hostile headers, and agreement with
// sox on files it writes.
#include "media/wavefile.h"
#include "memorysource.h"
#include "wave_bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
Bytes Chunk(const char *id, uint32_t size)
{
    return id + LE(size, 4) + Bytes(size < 0x10000 ? size + (size & 1) : 0, 0x7F);
}

LSoundSource Open(const Bytes &file)
{
    return LWaveFile::OpenSourceFromMemory((const unsigned char *)file.data(), file.size());
}

TEST(WaveFile, ReadsPcmFormats)
{
    const std::vector<int> values = {0, 1, -1, 32767, -32768, 1000};
    const std::vector<int> shared = {0, 16, -16, 32767 * 16, -32768 * 16, 16000};
    WaveSpec w16, w8, stereo;
    w16.data = stereo.data = Samples16(values);
    w8.bits = 8;
    w8.rate = 11025;
    w8.data = Bytes("\x00\x80\xff\x01", 4);
    stereo.channels = 2;
    stereo.rate = 44100;
    stereo.fmtSize = 18; // with the extra-size field
    // clang-format off
    const struct { WaveSpec layout; int rate, channels, frames; std::vector<int> samples; } cases[] = {
        {w16, 8000, 1, 6, shared},
        {w8, 11025, 1, 4, {-128 << 12, 0, 127 << 12, -127 << 12}},
        {stereo, 44100, 2, 3, shared},
    };
    // clang-format on
    for (const auto &c : cases) {
        const Bytes file = MakeWave(c.layout); // the source reads it in place
        LSoundSource source = Open(file);
        ASSERT_TRUE(source) << source.Error();
        EXPECT_EQ(source.GetSampleRate(), c.rate);
        EXPECT_EQ(source.GetChannels(), c.channels);
        EXPECT_EQ(source.GetEndSample(), c.frames);
        EXPECT_EQ(source.GetPeak(), 0x7FFF0);
        EXPECT_EQ(ReadEverything(source), c.samples);
    }
}

// The data chunk ends the samples, whatever chunks lie around it, however
// the file is cut and whatever the RIFF size claims.
TEST(WaveFile, SamplesComeFromTheDataChunkOnly)
{
    std::vector<int> ramp(100);
    for (int i = 0; i < 100; i++)
        ramp[i] = i;
    WaveSpec around, cut, lying;
    around.data = cut.data = Samples16(ramp);
    around.before = Chunk("LIST", 7); // odd size: padded
    around.after = Chunk("cue ", 40);
    lying.data = Samples16({7});
    lying.riffSize = 0x7FFFFFF0;
    Bytes cutFile = MakeWave(cut);
    cutFile.resize(cutFile.size() - 121);                 // 39.5 frames left
    Bytes lyingFile = Chunk("JUNK", 3) + MakeWave(lying); // and a chunk before RIFF
    // clang-format off
    const struct { const char *name; Bytes file; size_t frames; int last; } cases[] = {
        {"chunks around", MakeWave(around), 100, 99 * 16},
        {"truncated", cutFile, 39, 38 * 16},
        {"lying RIFF size", lyingFile, 1, 7 * 16},
    };
    // clang-format on
    for (const auto &c : cases) {
        LSoundSource source = Open(c.file);
        ASSERT_TRUE(source) << c.name;
        EXPECT_EQ(source.GetEndSample(), (int)c.frames) << c.name;
        std::vector<int> samples = ReadEverything(source);
        ASSERT_EQ(samples.size(), c.frames) << c.name;
        EXPECT_EQ(samples.back(), c.last) << c.name;
    }
    const Bytes file = MakeWave(around); // the source reads it in place
    LSoundSource source = Open(file);
    source.Seek(98);
    int tail[4];
    EXPECT_EQ(source.Read(tail, 4), 2);
    EXPECT_EQ(tail[0], 98 * 16);
}

Bytes With(void (*change)(WaveSpec &))
{
    WaveSpec w;
    w.data = Samples16({5});
    change(w);
    return MakeWave(w);
}

TEST(WaveFile, RefusesBadFilesWithTheirErrorCodes)
{
    Bytes header = MakeWave(WaveSpec());
    // clang-format off
    const struct { const char *name; Bytes file; int error; } cases[] = {
        {"float", With([](WaveSpec &w) { w.tag = 3; w.bits = 32; }), 5},
        {"24-bit", With([](WaveSpec &w) { w.bits = 24; }), 5},
        {"extensible", With([](WaveSpec &w) { w.tag = 0xFFFE; }), 5},
        {"no channels", With([](WaveSpec &w) { w.channels = 0; }), 5},
        {"rate 0", With([](WaveSpec &w) { w.rate = 0; }), 5},
        {"rate too high", With([](WaveSpec &w) { w.rate = 196001; }), 5},
        {"zero bits", With([](WaveSpec &w) { w.bits = 0; }), 5},
        {"fmt too small", With([](WaveSpec &w) { w.fmtSize = 14; }), 3},
        {"fmt too large", With([](WaveSpec &w) { w.fmtSize = 8194; }), 3},
        {"empty", Bytes(), 3},
        {"not RIFF", Bytes(header.begin() + 4, header.end()), 3},
        {"cut in fmt", Bytes(header.begin(), header.begin() + 30), 3},
        {"no data chunk", Bytes(header.begin(), header.begin() + 36), 3},
        {"huge chunk size", With([](WaveSpec &w) { w.before = Chunk("junk", 0xFF0000F0); }), 3},
        // Sizes whose padded sum with the header wraps 32 bits to 0 or 8.
        {"chunk size wraps to zero", With([](WaveSpec &w) { w.before = Chunk("junk", 0xFFFFFFF8); }), 3},
        {"odd chunk size wraps", With([](WaveSpec &w) { w.before = Chunk("junk", 0xFFFFFFF7); }), 3},
    };
    // clang-format on
    for (const auto &c : cases) {
        LSoundSource source = Open(c.file);
        EXPECT_FALSE(source) << c.name;
        EXPECT_EQ(source.Error(), c.error) << c.name;
        int sample = 123;
        EXPECT_EQ(source.Read(&sample, 1), 0) << c.name;
        EXPECT_EQ(sample, 0) << c.name;
    }
    EXPECT_EQ(LWaveFile::OpenSource("/nonexistent/x.wav").Error(), 4);
}

TEST(WaveFile, ReadsWhatSoxWrites)
{
    // clang-format off
    const struct { const char *options; int rate, channels; } cases[] = {
        {"-r 8000 -c 1 -b 16 -e signed-integer", 8000, 1},
        {"-r 22050 -c 2 -b 16 -e signed-integer", 22050, 2},
        {"-r 16000 -c 1 -b 8 -e unsigned-integer", 16000, 1},
    };
    // clang-format on
    std::string wav = std::string(testing::TempDir()) + "sox.wav";
    std::string raw = std::string(testing::TempDir()) + "sox.raw";
    for (const auto &c : cases) {
        std::string make =
            std::string("sox -n ") + c.options + " " + wav + " synth 0.3 sine 440 vol 0.7";
        ASSERT_EQ(system(make.c_str()), 0) << make;
        ASSERT_EQ(system(("sox " + wav + " -t raw -e signed-integer -b 16 " + raw).c_str()), 0);
        FILE *f = fopen(raw.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        std::vector<int16_t> expected(200000);
        expected.resize(fread(expected.data(), 2, expected.size(), f));
        fclose(f);

        LSoundSource source = LWaveFile::OpenSource(wav.c_str());
        ASSERT_TRUE(source) << c.options;
        EXPECT_EQ(source.GetSampleRate(), c.rate);
        EXPECT_EQ(source.GetChannels(), c.channels);
        std::vector<int> samples = ReadEverything(source);
        ASSERT_EQ(samples.size(), expected.size()) << c.options;
        for (size_t i = 0; i < samples.size(); i++)
            ASSERT_EQ(samples[i], expected[i] * 16) << c.options << " sample " << i;
    }
    remove(wav.c_str());
    remove(raw.c_str());
}
} // namespace
