#include "platform/tick.h"

#include <gtest/gtest.h>

namespace
{
struct TestClock : ::testing::Test {
    void TearDown() override { LTestClock::Remove(); }
};
} // namespace

TEST(Tick, IntervalAndDeadlineAcrossTheWrap)
{
    // clang-format off
    const struct { uint32_t then, now, interval; } cases[] = {
        {100, 350, 250}, {0xFFFFFF00u, 0x00000010u, 0x110}, {0xFFFFFFFFu, 0u, 1}, {0x7FFFFFFFu, 0x80000001u, 2}, {5, 5, 0},
    };
    // clang-format on
    for (const auto &c : cases) {
        EXPECT_EQ(c.interval, LTickInterval(c.now, c.then));
        // A deadline set at then + interval is reached exactly at now...
        uint32_t deadline = c.then + c.interval;
        EXPECT_TRUE(LTickReached(c.now, deadline)) << c.then;
        // ...and not one millisecond earlier, wrap or not.
        EXPECT_FALSE(LTickReached(c.now - 1, deadline)) << c.then;
        EXPECT_EQ(1u, LTickRemaining(c.now - 1, deadline));
        EXPECT_EQ(0u, LTickRemaining(c.now + 1000, deadline));
    }
    // A deadline 10 s ahead straddling the wrap is not "in the past".
    uint32_t now = 0xFFFFF000u;
    EXPECT_FALSE(LTickReached(now, now + 10000));
    EXPECT_EQ(10000u, LTickRemaining(now, now + 10000));
    EXPECT_LT(LTickDiff(now, now + 10000), 0);
}

TEST_F(TestClock, ControlsTicksAndSecondsAcrossTheWrap)
{
    LTestClock::Install(0xFFFFFC00u, 1000);
    EXPECT_TRUE(LTestClock::IsInstalled());
    uint32_t start = GetTickCount();
    EXPECT_EQ(0xFFFFFC00u, start);
    EXPECT_EQ(1000, GetUnixTime());
    LTestClock::Advance(1500); // past 2^32
    EXPECT_EQ(0x000001DCu, GetTickCount());
    EXPECT_EQ(1500u, LTickSince(start));
    EXPECT_EQ(1001, GetUnixTime());
    LTestClock::SetTick(0x00000BB8u); // 3000: 1024 + 3000 ms after start
    EXPECT_EQ(4024u, LTickSince(start));
    EXPECT_EQ(1004, GetUnixTime());
    LTestClock::Remove();
    EXPECT_FALSE(LTestClock::IsInstalled());
}
