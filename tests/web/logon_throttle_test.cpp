// The log-on throttle on an injected clock: the delays one attacker and one
// user name earn, and that the right password goes through after them.
#include "web/logon_throttle.h"

#include <gtest/gtest.h>

namespace
{
constexpr uint32_t kAttacker = 0xc0a80105;
constexpr uint32_t kAdmin = 0x7f000001;

class ThrottleTest : public ::testing::Test
{
  protected:
    long long now = 1000000;
    LWebLogonThrottle throttle{[this] { return now; }};

    // One attempt as the log-on page makes it: wait what Admit says, then
    // count a failure.
    long long FailOnce(uint32_t address, const char *user)
    {
        long long wait = throttle.Admit(address, user);
        now += wait;
        throttle.Failed(address, user);
        return wait;
    }
};

TEST_F(ThrottleTest, ThreeHundredWrongPasswordsTakeMinutes)
{
    long long total = 0;
    for (int i = 0; i < 300; i++)
        total += FailOnce(kAttacker, i % 2 ? "admin" : "root");
    EXPECT_GE(total, 60000);
    // The right password still works, after one more delay.
    long long wait = throttle.Admit(kAttacker, "admin");
    EXPECT_LE(wait, LWebLogonThrottle::kMaxDelayMs);
    throttle.Succeeded(kAttacker, "admin");
    EXPECT_EQ(throttle.Admit(kAttacker, "admin"), 0);
}

TEST_F(ThrottleTest, ParallelAttemptsFromOneAddressQueue)
{
    for (int i = 0; i < 10; i++)
        FailOnce(kAttacker, "x");
    // Sixteen connections asking at the same moment wait one after another.
    long long last = 0;
    for (int i = 0; i < 16; i++) {
        long long wait = throttle.Admit(kAttacker, "y");
        EXPECT_GE(wait, last);
        last = wait;
    }
    EXPECT_GE(last, 14 * LWebLogonThrottle::kMaxDelayMs);
}

TEST_F(ThrottleTest, GuessesAtOneUserDelayButDoNotLockItOut)
{
    // Many addresses guessing "admin" slow the real administrator by at
    // most one step, never by their queue.
    for (uint32_t a = 1; a <= 50; a++)
        FailOnce(kAttacker + a, "Admin");
    EXPECT_EQ(throttle.Admit(kAdmin, "admin"), LWebLogonThrottle::kMaxDelayMs);
    EXPECT_EQ(throttle.Admit(kAdmin, "admin"), LWebLogonThrottle::kMaxDelayMs);
    // Failures are forgotten after a quiet time.
    now += LWebLogonThrottle::kForgetMs + 1;
    EXPECT_EQ(throttle.Admit(kAdmin, "admin"), 0);
}
} // namespace
