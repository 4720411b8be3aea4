// The brake on password guessing: holds per source and per account name,
// growing with each burst, and the exemption of addresses that proved
// themselves on an account.
#include "callcontrol/auth_throttle.h"

#include <gtest/gtest.h>

namespace
{
const LIPAddressWithPort kGuesser(0x0a000001, 5060), kPhone(0x0a000002, 5060),
    kPhoneRebooted(0x0a000002, 5062), kNewPhone(0x0a000003, 5060);

// Failures from source until one starts a hold; how many that took.
int FailUntilHeld(LAuthThrottle &throttle, const LIPAddressWithPort &source, const char *account,
                  int64_t now)
{
    for (int i = 1; i <= 100; i++)
        if (!throttle.Failed(source, account, now).empty())
            return i;
    return 0;
}
} // namespace

TEST(AuthThrottle, SourceHoldsGrowWithEachBurst)
{
    LAuthThrottle throttle(LAuthThrottle::Limits{4, 1000, 60, 2, 8});
    int64_t now = 5000;
    EXPECT_EQ(FailUntilHeld(throttle, kGuesser, "101", now), 4);
    // clang-format off
    struct { const LIPAddressWithPort *source; int64_t at; bool allowed; } steps[] = {
        {&kGuesser, now, false}, {&kGuesser, now + 1, false}, {&kGuesser, now + 2, true},
        {&kPhone, now, true},
    };
    // clang-format on
    for (const auto &s : steps)
        EXPECT_EQ(throttle.IsAllowed(*s.source, "101", s.at), s.allowed) << s.at;
    // Another port of the same adapter, proven on its own account, goes on.
    throttle.Succeeded(kGuesser, "102", now - 10);
    EXPECT_TRUE(throttle.IsSourceAllowed(kGuesser, "102", now));
    EXPECT_TRUE(throttle.IsAllowed(kGuesser, "102", now));
    EXPECT_FALSE(throttle.IsSourceAllowed(kGuesser, "103", now));
    // Each further burst doubles the hold, up to the cap.
    int64_t holds[] = {4, 8, 8};
    for (int64_t hold : holds) {
        now += 10;
        EXPECT_EQ(FailUntilHeld(throttle, kGuesser, "x", now), 4);
        EXPECT_FALSE(throttle.IsAllowed(kGuesser, "y", now + hold - 1)) << hold;
        EXPECT_TRUE(throttle.IsAllowed(kGuesser, "y", now + hold)) << hold;
    }
    // A quiet window ends the escalation.
    now += 200;
    EXPECT_EQ(FailUntilHeld(throttle, kGuesser, "x", now), 4);
    EXPECT_TRUE(throttle.IsAllowed(kGuesser, "y", now + 2));
}

TEST(AuthThrottle, AccountHoldSparesAddressesThatAuthenticatedIt)
{
    LAuthThrottle throttle(LAuthThrottle::Limits{1000, 5, 60, 30, 300});
    const int64_t now = 5000;
    throttle.Succeeded(kPhone, "101", now - 100);
    // Guesses from many addresses, each below its own limit.
    int failures = 0;
    std::string line;
    for (uint32_t a = 1; line.empty(); a++, failures++)
        line = throttle.Failed(LIPAddressWithPort(0x0b000000 + a, 5060), "Alice", now);
    EXPECT_EQ(failures, 5);
    EXPECT_NE(line.find("30 s"), std::string::npos) << line;
    EXPECT_FALSE(throttle.IsAllowed(kGuesser, "alice", now + 1));
    EXPECT_TRUE(throttle.IsAllowed(kGuesser, "bob", now + 1));
    EXPECT_FALSE(throttle.IsAllowed(kPhone, "alice", now + 1)); // trusted on 101 only
    throttle.Succeeded(kPhone, "alice", now - 50);
    EXPECT_TRUE(throttle.IsAllowed(kPhoneRebooted, "ALICE", now + 1));
    EXPECT_FALSE(throttle.IsAllowed(kNewPhone, "alice", now + 1));
    EXPECT_TRUE(throttle.IsAllowed(kNewPhone, "alice", now + 30));
}
