#include "media/rtp_packets.h"
#include "media/rtp_receive_stack.h"
#include "media/rtp_stream_decoder.h"
#include "media/sdp_fakes.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace
{
// Collects the play-out.
struct Output : LRtpStreamTarget {
    std::vector<int> samples;
    void ReceiveAudio(const int *s, int n) override { samples.insert(samples.end(), s, s + n); }
    void HandleTelephoneEvent(const LRtpHeader &) override {}
    uint8_t GetComfortNoisePayLoadType() const override { return kNoPayload; }
    uint8_t GetG72632PayLoadType() const override { return kNoPayload; }
    uint8_t GetTelephoneEventPayLoadType() const override { return kNoPayload; }
};

// Runs the receive loop of the engine over 20 ms packets 0..count-1, the
// packets in [lostFrom, lostFrom + lost) never arriving, in virtual time (the
// decoder's own sleeps move the clock on).
std::vector<int> Play(int count, int lostFrom, int lost)
{
    LManualClock clock(1000);
    Output out;
    FixedSdpSettings media;
    LRtpReceivePacketStack stack(media, clock);
    LRtpStreamDecoder decoder(out, clock);
    LRtpHeader packet;
    uint32_t wake = 0;
    for (uint32_t ms = 0; ms < (uint32_t)count * 20 + 400; ms++) {
        clock.SetTick(1000 + ms);
        int n = (int)ms / 20;
        bool arrived = ms % 20 == 0 && n < count && (n < lostFrom || n >= lostFrom + lost);
        if (arrived) {
            std::string p = RtpPacket((uint16_t)n, 160u * n, 5, 0, UlawTone(n));
            stack.ReceiveBytes(p.data(), (int)p.size(), {});
        }
        if (!arrived && LTickDiff(1000 + ms, wake) < 0)
            continue;
        for (;;) {
            if (!stack.HasNextPacket()) {
                wake = 1000 + ms + decoder.HandleNoPacketsReceived();
                break;
            }
            bool expected = stack.IsNextExpected();
            int skip = expected ? 0 : decoder.GetTimeToSkipPacketMS();
            if (skip > 5) {
                wake = 1000 + ms + skip;
                break;
            }
            stack.GetNextPacket(packet);
            decoder.HandlePacketReceived(packet, !expected);
        }
    }
    return out.samples;
}

// Where packet n's audio (past the cross-fade) starts in the play-out.
long Find(const std::vector<int> &samples, int n)
{
    std::vector<int> tone = DecodeUlaw(UlawTone(n));
    auto at = std::search(samples.begin(), samples.end(), tone.begin() + 40, tone.end());
    return at == samples.end() ? -1 : (long)(at - samples.begin()) - 40;
}

int Peak(const std::vector<int> &s, long from, long to)
{
    int peak = 0;
    for (long i = from; i < to; i++)
        peak = std::max(peak, std::abs(s[i]));
    return peak;
}

TEST(RtpPlayout, GapsAreConcealedThenFilledWithNoise)
{
    // clang-format off
    struct { int lost; long minFill, maxFill; } rows[] = {
        {1, 160, 160 + 480}, {3, 480, 480 + 480}, {50, 8000 - 480, 8000 + 480},
    };
    // clang-format on
    for (auto row : rows) {
        SCOPED_TRACE(row.lost);
        std::vector<int> out = Play(80, 20, row.lost);
        for (int n = 1; n < 80; n++) {
            if (n >= 20 && n < 20 + row.lost)
                continue;
            EXPECT_GT(Find(out, n), Find(out, n - (n == 20 + row.lost ? row.lost + 1 : 1)));
        }
        long gapStart = Find(out, 19) + 160, gapEnd = Find(out, 20 + row.lost);
        EXPECT_GE(gapEnd - gapStart, row.minFill);
        EXPECT_LE(gapEnd - gapStart, row.maxFill);
        // The tone goes on, fading (about 234 ms), then only low noise.
        EXPECT_GT(Peak(out, gapStart, gapStart + 160), 8000 * 16 / 2);
        if (row.lost == 50) {
            EXPECT_LT(Peak(out, gapStart + 1875 + 40, gapEnd), 1024);
        }
    }
}

} // namespace
