// The receiving side's loss and jitter figures of the media-load benchmark,
// checked on hand-made packet sequences (20 ms of PCMU each, 160 units).
#include "bench/media_load/rtp_stream_stats.h"

#include <gtest/gtest.h>
#include <vector>

namespace
{
struct Arrival {
    uint16_t sequence;
    int slot;         // timestamp = slot x 160
    double arrivalMs; // receive time
};

struct Case {
    const char *name;
    std::vector<Arrival> packets;
    int64_t expected, lost;
    double jitterMs;
};

// clang-format off
const Case kCases[] = {
    {"paced", {{7, 0, 0}, {8, 1, 20}, {9, 2, 40}, {10, 3, 60}}, 4, 0, 0},
    {"one lost", {{7, 0, 0}, {8, 1, 20}, {10, 3, 60}}, 4, 1, 0},
    {"sequence wraps", {{65534, 0, 0}, {65535, 1, 20}, {0, 2, 40}, {1, 3, 60}}, 4, 0, 0},
    {"reordered", {{0, 0, 0}, {2, 2, 40}, {1, 1, 40}, {3, 3, 60}}, 4, 0, 20.0 / 16 + (20 - 20.0 / 16) / 16},
    {"late then on time", {{0, 0, 0}, {1, 1, 30}, {2, 2, 40}}, 3, 0, 10.0 / 16 + (10 - 10.0 / 16) / 16},
    {"duplicate", {{0, 0, 0}, {1, 1, 20}, {1, 1, 20}, {2, 2, 40}}, 3, -1, 0},
    {"lost at a wrap", {{65535, 0, 0}, {1, 2, 40}}, 3, 1, 0},
};
// clang-format on

TEST(RtpStreamStatsTest, LossAndJitterOfHandMadeStreams)
{
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        RtpStreamStats stats;
        for (const Arrival &p : c.packets)
            stats.Add(p.sequence, 1000 + p.slot * 160, (int64_t)(5e9 + p.arrivalMs * 1e6));
        EXPECT_EQ(stats.Expected(), c.expected);
        EXPECT_EQ(stats.Lost(), c.lost);
        EXPECT_NEAR(stats.JitterMs(), c.jitterMs, 1e-6);
    }
}
} // namespace
