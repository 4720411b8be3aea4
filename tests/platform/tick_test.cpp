#include "platform/clock.h"

#include <gtest/gtest.h>

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

TEST(ManualClock, TicksAndSecondsMoveTogetherAcrossTheWrap)
{
    LManualClock clock(0xFFFFFC00u, 1000);
    uint32_t start = clock.Tick();
    clock.Advance(1500); // past 2^32
    EXPECT_EQ(0x000001DCu, clock.Tick());
    EXPECT_EQ(1500u, clock.Since(start));
    EXPECT_EQ(1001, clock.UnixTime());
    clock.SetTick(0x00000BB8u); // 3000: 1024 + 3000 ms after start
    clock.Sleep(976);           // a paced writer's sleep moves it on too
    EXPECT_EQ(5000u, clock.Since(start));
    EXPECT_EQ(1005, clock.UnixTime());
}
