#include "platform/signal_pool.h"
#include "platform/thread.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <atomic>

TEST(SignalPool, ReusedDescriptorNeverCarriesTheLastUsersSignal)
{
    auto pool = std::make_shared<LSignalPool>(2);
    int fd;
    {
        LSignalObject first(pool);
        fd = first.GetHandle();
        first.Signal();
        first.Signal(); // left set when it goes
    }
    {
        LSignalObject second(pool);
        EXPECT_EQ(fd, second.GetHandle());
        EXPECT_FALSE(second.IsSignaled());
        second.Signal();
        second.Reset(); // cleared by its owner before it goes
    }
    {
        LSignalObject released(pool); // given back early, left set
        released.Signal();
        released.Release();
        EXPECT_FALSE(released.IsValid());
        released.Signal(); // nothing to write to any more
    }
    LSignalObject third(pool), fourth(pool), fifth(pool);
    EXPECT_EQ(fd, third.GetHandle());
    EXPECT_FALSE(third.IsSignaled());
    EXPECT_NE(fd, fourth.GetHandle());
    EXPECT_EQ(0, pool->GetKept());
    {
        LSignalObject extra(pool), more(pool);
    }
    EXPECT_EQ(2, pool->GetKept()); // no more kept than asked
}

namespace
{
// Asks itself to stop (its stop signal stays set as it ends), or waits for
// a stop that nobody sends and notes how the wait ended.
struct PooledRun : LDetachedThread {
    PooledRun(std::shared_ptr<LSignalPool> pool, bool stopSelf, std::atomic<int> &result)
        : LDetachedThread(std::move(pool)), stopSelf(stopSelf), result(result)
    {
    }
    void ThreadFunction() override
    {
        if (stopSelf)
            StopThreadSoon();
        else
            result = ProcessWait(50);
        handle = GetStopSignal().GetHandle();
    }
    bool stopSelf;
    std::atomic<int> &result;
    static inline std::atomic<int> handle{-1};
};
} // namespace

TEST(SignalPool, NextCallOnAReusedWorkerIsNotStoppedByThePrevious)
{
    auto pool = std::make_shared<LSignalPool>();
    LDetachedThreadsOwner owner(1);
    std::atomic<int> result{-1};
    ASSERT_TRUE(owner.StartThread(new PooledRun(pool, true, result)));
    ASSERT_TRUE(vtest::WaitUntil([&] { return owner.GetCount() == 0 && pool->GetKept() == 1; }));
    int stoppedHandle = PooledRun::handle;
    ASSERT_TRUE(owner.StartThread(new PooledRun(pool, false, result)));
    ASSERT_TRUE(vtest::WaitUntil([&] { return owner.GetCount() == 0 && result != -1; }));
    EXPECT_EQ(stoppedHandle, PooledRun::handle.load());
    EXPECT_EQ(LProcessFailed, result.load()); // its wait timed out
}
