// What the exchange plays to a caller: loops, the queue chain, sound times
// beyond 2^31 samples, and file names from the settings kept inside the
// shared data folder, whatever path or link names them.
#include "media/callsources.h"
#include "media/convertrate.h"
#include "media/peaklimit.h"
#include "media/soundrepeat.h"
#include "memorysource.h"
#include "support/process.h"
#include "wave_bytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <utility>

namespace
{
namespace fs = std::filesystem;
using Runs = std::vector<std::pair<int, int>>; // (sample value, count)

// A 16-bit mono 8000 Hz wave file of frames samples, all of value.
void WriteWave(const std::string &path, int frames, int value)
{
    std::ofstream(path, std::ios::binary)
        << MakeWave({.data = Samples16(std::vector<int>(frames, value))});
}

// Run-length form of everything the source gives, up to limit frames.
Runs ReadRuns(LSoundSource &source, int limit)
{
    Runs runs;
    std::vector<int> block(333);
    int total = 0, got;
    while (total < limit && (got = source.Read(block.data(), std::min(333, limit - total))) > 0) {
        for (int i = 0; i < got; i++) {
            if (runs.empty() || runs.back().first != block[i])
                runs.push_back({block[i], 0});
            runs.back().second++;
        }
        total += got;
    }
    return runs;
}

// clang-format off
struct LoopCase { const char *name; int fileFrames, startMs, endMs, period; };
const LoopCase kLoops[] = {
    {"WholeFile",        800,  0,  100,   800},
    {"RingingPause",     800,  0, 2100, 16800}, // the file, then 2 s of silence
    {"TimesSwapped",     800, 100,   0,   800},
    {"ShortestLoop",       8,  0,    1,   256},
};
// clang-format on

TEST(SoundRepeat, LoopsWithoutAGapAndNeverEnds)
{
    for (const LoopCase &c : kLoops) {
        SCOPED_TRACE(c.name);
        std::vector<int> ramp(c.fileFrames);
        for (int i = 0; i < c.fileFrames; i++)
            ramp[i] = i + 1;
        LSoundSource file(new LTestMemorySource(ramp, 8000, 1));
        LSoundSource loop = LSPRepeat(LSoundTime(c.startMs), LSoundTime(c.endMs)).OpenSource(file);
        std::vector<int> out(3 * c.period + 17);
        int given = 0;
        for (int chunk = 1; given < (int)out.size(); chunk = chunk * 3 % 997 + 1)
            given += loop.Read(out.data() + given, std::min<int>(chunk, out.size() - given));
        for (int i = 0; i < (int)out.size(); i++) {
            int j = i % c.period;
            ASSERT_EQ(out[i], j < c.fileFrames ? j + 1 : 0) << "at " << i;
        }
        EXPECT_GE(loop.GetEndSample() - loop.GetPositionSample(), 8 * 8000);
    }
}

// clang-format off
struct TimeCase { const char *name; LSoundTime time; int rate; int samples; };
const TimeCase kTimes[] = {
    {"PastTwoTo31Samples", LSoundTime(268435456),          8000, INT32_MAX}, // 2^31 samples
    {"LongestTime",        LSoundTime(INT32_MAX),         48000, INT32_MAX},
    {"SecondsRounded",     LSoundTime::FromSeconds(0.0015), 8000, 16},
    {"SecondsSaturated",   LSoundTime::FromSeconds(1e12),   1000, INT32_MAX},
    {"SumSaturated",       LSoundTime(INT32_MAX) + LSoundTime(5), 1000, INT32_MAX},
    {"FromManySamples",    LSoundTime::FromSamples(INT32_MAX, 8000), 8000, INT32_MAX - 7},
};
// clang-format on

TEST(SoundTime, ConvertsIn64BitsAndSaturates)
{
    for (const TimeCase &c : kTimes)
        EXPECT_EQ(c.time.ToSamples(c.rate), c.samples) << c.name;
}

// A hold file played for days: the loop end lies past 2^31 samples, and
// the loop still wraps at its end instead of jumping to a wrapped position.
TEST(SoundRepeat, LoopEndPastTwoTo31SamplesWrapsAtItsEnd)
{
    LSoundSource file(new LTestMemorySource({7, 8, 9}, 8000, 1));
    LSoundSource loop = LSPRepeat(LSoundTime(0), LSoundTime(300000000)).OpenSource(file);
    EXPECT_EQ(loop.GetEndSample(), INT32_MAX);
    loop.Seek(INT32_MAX - 2);
    int out[5];
    ASSERT_EQ(loop.Read(out, 5), 5);
    EXPECT_EQ(std::vector<int>(out, out + 5), (std::vector<int>{0, 0, 7, 8, 9}));
}

// Hold music and ringing must never end by themselves, also as the stream
// player reads them: through the rate converter and the peak limiter, which
// count positions of their own while the loop's position jumps back at
// every turn.
TEST(SoundLoop, ALoopPlaysOnThroughConverterAndLimiter)
{
    for (int rate : {8000, 44100}) {
        LSoundSource file(new LTestMemorySource(std::vector<int>(rate / 2, 0x1000), rate, 1));
        LSoundSource chain = LSPRepeat(LSoundTime::Zero(), file.GetEnd()).OpenSource(file);
        LSPConvertSourceRateChannels(8000, 1, chain);
        chain = LSPPeakLimit(kSoundPeak16).OpenSource(chain);
        // 20 s in the pump's 40 ms blocks: far past the loop's reported end
        // (its length plus 8 s), which the pump would take for the end.
        int block[320];
        for (int n = 0; n < 500; n++) {
            ASSERT_GT((long long)chain.GetEndSample() - chain.GetPositionSample(), 0)
                << rate << " Hz, block " << n;
            ASSERT_EQ(chain.Read(block, 320), 320) << rate << " Hz, block " << n;
        }
        EXPECT_NEAR(block[319], 0x1000, 0x40) << rate; // still the file, not silence
    }
}
class QueueSources : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        fs::create_directories(folder);
        WriteWave(folder + "/Prompt.wav", 400, 1);
        WriteWave(folder + "/Hold.wav", 1600, 2);
        WriteWave(folder + "/Ringing.wav", 800, 3);
        fs::create_directories(root.Path() + "/outside");
        WriteWave(root.Path() + "/outside/Secret.wav", 100, 5);
        fs::create_symlink(root.Path() + "/outside/Secret.wav", folder + "/Link.wav");
    }
    vtest::TempDir root{"player-sources"};
    std::string folder = root.Path() + "/etc";
    LPlayerSources sources{folder};
};

// Ringing in a chain: the file, 2 s of silence, for its length plus 10 s.
Runs Ringing()
{
    Runs runs;
    for (int left = 800 + 16000 + 64000; left > 0; left -= 16800)
        runs.insert(runs.end(), {{48, std::min(left, 800)}, {0, std::min(left - 800, 16000)}});
    return runs;
}
Runs Then(Runs head, const Runs &tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST_F(QueueSources, ChainPlaysAnnouncementHoldRingingThenStops)
{
    const Runs hold = {{32, 1600 + 64000}}; // the hold file looped for its length + 8 s
    // clang-format off
    struct { const char *name; std::string prompt; const char *hold; Runs runs; } cases[] = {
        {"AnnouncementHoldRinging", "Prompt.wav", "-", Then(Then({{16, 400}}, hold), Ringing())},
        {"AnnouncementOnly",        "Prompt.wav", "",  Then({{16, 400}}, Ringing())},
        {"MissingAnnouncement",     "None.wav",   "-", Then(hold, Ringing())},
        {"AnnouncementOutside",     "../outside/Secret.wav", "", Ringing()},
        {"LinkPointingOut",         "Link.wav",   "",  Ringing()},
        {"AbsoluteOutside",         "/etc/passwd", "", Ringing()},
        {"AbsoluteInside", folder + "/Prompt.wav", "", Then({{16, 400}}, Ringing())},
    };
    // clang-format on
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        LSoundSource chain = sources.OpenSourceQueueNoRinging(c.prompt.c_str(), c.hold);
        ASSERT_TRUE(chain);
        EXPECT_EQ(ReadRuns(chain, 1 << 20), c.runs);
        int tail[4] = {9, 9, 9, 9};
        EXPECT_EQ(chain.Read(tail, 4), 0);
        EXPECT_EQ(tail[3], 0);
    }
}

TEST_F(QueueSources, WithoutPromptHoldOrRinging)
{
    EXPECT_FALSE(sources.OpenSourceQueueNoRinging("", ""));
    LSoundSource ringing = sources.OpenSourceQueueWithRinging("", "");
    EXPECT_EQ(ReadRuns(ringing, 2 * 16800), (Runs{{48, 800}, {0, 16000}, {48, 800}, {0, 16000}}));
    // Hold alone: the stock file loops without end, whatever the name
    // that could not be an on-hold server.
    for (const char *name : {"-", "../Hold.wav", "host:99999", "a b:606"}) {
        LSoundSource hold = sources.OpenSourceQueueNoRinging("", name);
        EXPECT_EQ(ReadRuns(hold, 5 * 1600), (Runs{{32, 5 * 1600}})) << name;
    }
}

} // namespace
