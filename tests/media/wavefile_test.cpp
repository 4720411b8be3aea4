// Wave file reading: formats, sizes and hostile headers, and agreement with
// sox on files it writes.
#include "media/wavefile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
using Bytes = std::vector<unsigned char>;

void Put32(Bytes &b, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void Put16(Bytes &b, int v)
{
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
void PutId(Bytes &b, const char *id)
{
    for (int i = 0; i < 4; i++)
        b.push_back(static_cast<unsigned char>(id[i]));
}
// Element by element: g++ 12 warns falsely on vector range inserts here.
void Append(Bytes &to, const Bytes &from)
{
    for (unsigned char c : from)
        to.push_back(c);
}

struct WaveSpec {
    int tag = 1, channels = 1, rate = 8000, bits = 16;
    uint32_t fmtSize = 16;
    Bytes data;
    Bytes before, after; // extra chunks around the data chunk
    long riffSize = -1;
};

Bytes MakeWave(const WaveSpec &w)
{
    Bytes body;
    PutId(body, "WAVE");
    PutId(body, "fmt ");
    Put32(body, w.fmtSize);
    Put16(body, w.tag);
    Put16(body, w.channels);
    Put32(body, w.rate);
    Put32(body, w.rate * w.channels * ((w.bits + 7) / 8));
    Put16(body, w.channels * ((w.bits + 7) / 8));
    Put16(body, w.bits);
    for (uint32_t i = 16; i < w.fmtSize; i++)
        body.push_back(0);
    Append(body, w.before);
    PutId(body, "data");
    Put32(body, static_cast<uint32_t>(w.data.size()));
    Append(body, w.data);
    Append(body, w.after);
    Bytes file;
    PutId(file, "RIFF");
    Put32(file, w.riffSize >= 0 ? uint32_t(w.riffSize) : uint32_t(body.size()));
    Append(file, body);
    return file;
}

Bytes Chunk(const char *id, int size)
{
    Bytes b;
    PutId(b, id);
    Put32(b, size);
    for (int i = 0; i < size + (size & 1); i++)
        b.push_back(0x7F);
    return b;
}

std::vector<int> ReadAll(LSoundSource &source)
{
    std::vector<int> all;
    int buffer[1000];
    int got;
    while ((got = source.Read(buffer, 1000 / source.GetChannels())) > 0)
        all.insert(all.end(), buffer, buffer + got * source.GetChannels());
    return all;
}

TEST(WaveFile, ReadsPcmFormats)
{
    WaveSpec w16;
    for (int v : {0, 1, -1, 32767, -32768, 1000})
        Put16(w16.data, v);
    WaveSpec w8;
    w8.bits = 8;
    w8.rate = 11025;
    w8.data = {0, 128, 255, 1};
    WaveSpec stereo = w16;
    stereo.channels = 2;
    stereo.rate = 44100;
    stereo.fmtSize = 18; // with the extra-size field
    const struct {
        WaveSpec layout;
        int rate, channels, frames;
        std::vector<int> samples;
    } cases[] = {
        {w16, 8000, 1, 6, {0, 16, -16, 32767 * 16, -32768 * 16, 16000}},
        {w8, 11025, 1, 4, {-128 << 12, 0, 127 << 12, -127 << 12}},
        {stereo, 44100, 2, 3, {0, 16, -16, 32767 * 16, -32768 * 16, 16000}},
    };
    for (const auto &c : cases) {
        Bytes file = MakeWave(c.layout);
        LSoundSource source = LWaveFile::OpenSourceFromMemory(file.data(), file.size());
        ASSERT_TRUE(source) << source.Error();
        EXPECT_EQ(source.GetSampleRate(), c.rate);
        EXPECT_EQ(source.GetChannels(), c.channels);
        EXPECT_EQ(source.GetEndSample(), c.frames);
        EXPECT_EQ(source.GetPeak(), 0x7FFF0);
        EXPECT_EQ(ReadAll(source), c.samples);
    }
}

TEST(WaveFile, StopsAtTheEndOfTheDataChunk)
{
    WaveSpec w;
    for (int i = 0; i < 100; i++)
        Put16(w.data, i);
    w.before = Chunk("LIST", 7); // odd size: padded
    w.after = Chunk("cue ", 40);
    Bytes file = MakeWave(w);
    LSoundSource source = LWaveFile::OpenSourceFromMemory(file.data(), file.size());
    ASSERT_TRUE(source);
    std::vector<int> samples = ReadAll(source);
    ASSERT_EQ(samples.size(), 100u);
    EXPECT_EQ(samples.back(), 99 * 16);
    source.Seek(98);
    int tail[4];
    EXPECT_EQ(source.Read(tail, 4), 2);
    EXPECT_EQ(tail[0], 98 * 16);
}

TEST(WaveFile, TruncatedDataPlaysWhatIsThere)
{
    WaveSpec w;
    for (int i = 0; i < 50; i++)
        Put16(w.data, i);
    Bytes file = MakeWave(w);
    file.resize(file.size() - 21); // 39.5 frames left
    LSoundSource source = LWaveFile::OpenSourceFromMemory(file.data(), file.size());
    ASSERT_TRUE(source);
    EXPECT_EQ(source.GetEndSample(), 39);
    EXPECT_EQ(ReadAll(source).size(), 39u);
}

TEST(WaveFile, RefusesBadFilesWithTheirErrorCodes)
{
    auto with = [](auto change) {
        WaveSpec w;
        Put16(w.data, 5);
        change(w);
        return MakeWave(w);
    };
    Bytes header = MakeWave(WaveSpec());
    const struct {
        const char *name;
        Bytes file;
        int error;
    } cases[] = {
        {"float", with([](WaveSpec &w) {
             w.tag = 3;
             w.bits = 32;
         }),
         5},
        {"24-bit", with([](WaveSpec &w) { w.bits = 24; }), 5},
        {"extensible", with([](WaveSpec &w) { w.tag = 0xFFFE; }), 5},
        {"no channels", with([](WaveSpec &w) { w.channels = 0; }), 5},
        {"rate 0", with([](WaveSpec &w) { w.rate = 0; }), 5},
        {"rate too high", with([](WaveSpec &w) { w.rate = 196001; }), 5},
        {"zero bits", with([](WaveSpec &w) { w.bits = 0; }), 5},
        {"fmt too small", with([](WaveSpec &w) { w.fmtSize = 14; }), 3},
        {"fmt too large", with([](WaveSpec &w) { w.fmtSize = 8194; }), 3},
        {"empty", Bytes(), 3},
        {"not RIFF", Bytes(header.begin() + 4, header.end()), 3},
        {"cut in fmt", Bytes(header.begin(), header.begin() + 30), 3},
        {"no data chunk", Bytes(header.begin(), header.begin() + 36), 3},
        {"huge chunk size", with([](WaveSpec &w) {
             w.before = Chunk("junk", 0);
             w.before[4] = 0xF0;
             w.before[7] = 0xFF;
         }),
         3},
        // Sizes whose padded sum with the header wraps 32 bits to 0 or 8.
        {"chunk size wraps to zero", with([](WaveSpec &w) {
             w.before = Chunk("junk", 0);
             w.before[4] = 0xF8;
             w.before[5] = w.before[6] = w.before[7] = 0xFF;
         }),
         3},
        {"odd chunk size wraps", with([](WaveSpec &w) {
             w.before = Chunk("junk", 0);
             w.before[4] = 0xF7;
             w.before[5] = w.before[6] = w.before[7] = 0xFF;
         }),
         3},
    };
    for (const auto &c : cases) {
        LSoundSource source = LWaveFile::OpenSourceFromMemory(c.file.data(), c.file.size());
        EXPECT_FALSE(source) << c.name;
        EXPECT_EQ(source.Error(), c.error) << c.name;
        int sample = 123;
        EXPECT_EQ(source.Read(&sample, 1), 0) << c.name;
        EXPECT_EQ(sample, 0) << c.name;
    }
    EXPECT_EQ(LWaveFile::OpenSource("/nonexistent/x.wav").Error(), 4);
}

TEST(WaveFile, LyingRiffSizeAndLeadingChunksAreTolerated)
{
    WaveSpec w;
    Put16(w.data, 7);
    w.riffSize = 0x7FFFFFF0;
    Bytes file = Chunk("JUNK", 3);
    Bytes wave = MakeWave(w);
    Append(file, wave);
    LSoundSource source = LWaveFile::OpenSourceFromMemory(file.data(), file.size());
    ASSERT_TRUE(source);
    EXPECT_EQ(ReadAll(source), std::vector<int>{7 * 16});
}

std::string TempPath(const char *name)
{
    return std::string(testing::TempDir()) + name;
}

TEST(WaveFile, ReadsWhatSoxWrites)
{
    struct {
        const char *options;
        int rate, channels;
    } cases[] = {{"-r 8000 -c 1 -b 16", 8000, 1},
                 {"-r 22050 -c 2 -b 16", 22050, 2},
                 {"-r 16000 -c 1 -b 8", 16000, 1}};
    for (const auto &c : cases) {
        std::string wav = TempPath("sox.wav"), raw = TempPath("sox.raw");
        std::string make = std::string("sox -n ") + c.options + " -e signed-integer " + wav +
                           " synth 0.3 sine 440 vol 0.7";
        if (c.options[strlen(c.options) - 1] == '8')
            make = std::string("sox -n ") + c.options + " -e unsigned-integer " + wav +
                   " synth 0.3 sine 440 vol 0.7";
        ASSERT_EQ(system(make.c_str()), 0) << make;
        std::string toRaw = "sox " + wav + " -t raw -e signed-integer -b 16 " + raw;
        ASSERT_EQ(system(toRaw.c_str()), 0);
        FILE *f = fopen(raw.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        std::vector<int16_t> expected(200000);
        expected.resize(fread(expected.data(), 2, expected.size(), f));
        fclose(f);

        LSoundSource source = LWaveFile::OpenSource(wav.c_str());
        ASSERT_TRUE(source) << c.options;
        EXPECT_EQ(source.GetSampleRate(), c.rate);
        EXPECT_EQ(source.GetChannels(), c.channels);
        std::vector<int> samples = ReadAll(source);
        ASSERT_EQ(samples.size(), expected.size()) << c.options;
        for (size_t i = 0; i < samples.size(); i++)
            ASSERT_EQ(samples[i], expected[i] * 16) << c.options << " sample " << i;
        remove(wav.c_str());
        remove(raw.c_str());
    }
}
} // namespace
