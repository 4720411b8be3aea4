// Names looked up behind the caller's back: the caller never waits for the
// resolver, one look-up serves every caller, answers are kept for a minute,
// and a failed refresh keeps the address found before.
#include "platform/clock.h"
#include "platform/name_cache.h"

#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>

namespace
{
class NameCache : public ::testing::Test
{
  protected:
    // A resolver that blocks until released and finds only pbx.example.
    bool Resolve(const std::string &name, uint32_t &address)
    {
        calls++;
        std::unique_lock<std::mutex> hold(mutex);
        released.wait(hold, [&] { return open; });
        address = 0x0A000001; // 10.0.0.1
        return name == "pbx.example" && serving;
    }
    void Release()
    {
        std::lock_guard<std::mutex> hold(mutex);
        open = true;
        released.notify_all();
    }
    // Waits (in real time) for the n-th answer.
    bool Answered(int n)
    {
        for (int i = 0; i < 5000 && answers < n; i++)
            usleep(1000);
        return answers >= n;
    }

    LManualClock clock;
    std::mutex mutex;
    std::condition_variable released;
    bool open = false;
    std::atomic<bool> serving{true};
    std::atomic<int> calls{0}, answers{0};
    LNameCache cache{
        clock, [this] { answers++; },
        [this](const std::string &name, uint32_t &address) { return Resolve(name, address); }};
    LIPAddressWithPort to;
};

TEST_F(NameCache, DottedAddressesNeedNoLookup)
{
    EXPECT_EQ(cache.Lookup("192.0.2.9:5070", 5060, to), LNameLookup::Found);
    EXPECT_EQ(to.GetPort(), 5070);
    EXPECT_EQ(cache.Lookup("192.0.2.9:port", 5060, to), LNameLookup::Failed);
    EXPECT_EQ(calls, 0);
}

TEST_F(NameCache, TheCallerNeverWaitsAndOneLookupServesAll)
{
    EXPECT_EQ(cache.Lookup("pbx.example", 5060, to), LNameLookup::Pending);
    EXPECT_EQ(cache.Lookup("pbx.example:5080", 5060, to), LNameLookup::Pending);
    Release();
    ASSERT_TRUE(Answered(1));
    ASSERT_EQ(cache.Lookup("pbx.example:5080", 5060, to), LNameLookup::Found);
    EXPECT_EQ(to.GetAddress(), 0x0A000001u);
    EXPECT_EQ(to.GetPort(), 5080);
    clock.Advance(LNameCache::kFreshMs - 1);
    EXPECT_EQ(cache.Lookup("pbx.example", 5060, to), LNameLookup::Found);
    EXPECT_EQ(calls, 1) << "a fresh answer is kept";

    // Stale: the old address is given while a refresh runs, and kept when
    // the refresh fails (the name server is away, not the host).
    serving = false;
    clock.Advance(2);
    EXPECT_EQ(cache.Lookup("pbx.example", 5060, to), LNameLookup::Found);
    ASSERT_TRUE(Answered(2));
    EXPECT_EQ(cache.Lookup("pbx.example", 5060, to), LNameLookup::Found);
    EXPECT_EQ(to.GetAddress(), 0x0A000001u);
}

TEST_F(NameCache, AFailedNameIsAskedAgainAfterSevenSeconds)
{
    Release();
    EXPECT_EQ(cache.Lookup("gone.example", 5060, to), LNameLookup::Pending);
    ASSERT_TRUE(Answered(1));
    EXPECT_EQ(cache.Lookup("gone.example", 5060, to), LNameLookup::Failed);
    clock.Advance(LNameCache::kFailedRetryMs - 1);
    EXPECT_EQ(cache.Lookup("gone.example", 5060, to), LNameLookup::Failed);
    EXPECT_EQ(calls, 1);
    clock.Advance(1);
    EXPECT_EQ(cache.Lookup("gone.example", 5060, to), LNameLookup::Failed);
    ASSERT_TRUE(Answered(2));
    EXPECT_EQ(calls, 2);
}
} // namespace

namespace
{
// The exchange stops while a name server keeps a look-up waiting: the
// answer that comes after the cache and its clock are gone touches neither.
TEST(NameCacheGone, ALateAnswerTouchesNothing)
{
    // Shared with the look-up's thread, which outlives this test's frame.
    struct Gate {
        std::mutex mutex;
        std::condition_variable released;
        bool open = false;
        std::atomic<bool> returned{false};
    };
    auto gate = std::make_shared<Gate>();
    auto answers = std::make_shared<std::atomic<int>>(0);
    {
        LManualClock clock;
        LNameCache cache(
            clock, [answers] { (*answers)++; },
            [gate](const std::string &, uint32_t &) {
                std::unique_lock<std::mutex> hold(gate->mutex);
                gate->released.wait(hold, [&] { return gate->open; });
                gate->returned = true;
                return true;
            });
        LIPAddressWithPort to;
        EXPECT_EQ(cache.Lookup("slow.example", 5060, to), LNameLookup::Pending);
    }
    {
        std::lock_guard<std::mutex> hold(gate->mutex);
        gate->open = true;
        gate->released.notify_all();
    }
    for (int i = 0; i < 5000 && !gate->returned; i++)
        usleep(1000);
    ASSERT_TRUE(gate->returned);
    usleep(20000); // the look-up's thread ends (a sanitizer build sees any late touch)
    EXPECT_EQ(*answers, 0);
}
} // namespace
