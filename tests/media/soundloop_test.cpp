// Hold music and ringing are loops that must never end by themselves, also
// as the stream player reads them: through the rate converter and the peak
// limiter, which count positions of their own while the loop's position
// jumps back at every turn.
#include "media/convertrate.h"
#include "media/peaklimit.h"
#include "media/soundrepeat.h"
#include "memorysource.h"

#include <gtest/gtest.h>

namespace
{
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
} // namespace
