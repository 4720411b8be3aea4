// Group queues: first-come order, shared handles, places given up exactly
// when the last handle goes away, and many threads joining and leaving.
#include "callcontrol/queue_group.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
constexpr uint32_t kWaitMs = 5000;

bool AtFront(const LPBXQueuerGroupCall &call)
{
    return LPBXQueuerItem(call).WaitTillFrontOfQueue() == nullptr;
}

class QueueGroupTest : public ::testing::Test
{
  protected:
    void TearDown() override { EXPECT_EQ(queues.GetGroupCount(), 0); }
    LPBXQueuer queues;
};

// An empty name never queues; letter case does not make another queue; a
// long name is cut, not rejected.
TEST_F(QueueGroupTest, GroupNames)
{
    EXPECT_EQ(LPBXQueuerItem().WaitTillFrontOfQueue(), nullptr);
    LPBXQueuerGroupCall direct(queues, ""), direct2(queues, "");
    EXPECT_TRUE(AtFront(direct));
    EXPECT_TRUE(AtFront(direct2));
    EXPECT_EQ(queues.GetGroupCount(), 0);
    std::string longName(1000, 'g');
    LPBXQueuerGroupCall a(queues, "Sales"), b(queues, "SALES"), other(queues, "support");
    LPBXQueuerGroupCall longA(queues, longName.c_str()), longB(queues, longName.c_str());
    EXPECT_EQ(queues.GetGroupCount(), 3);
    EXPECT_EQ(queues.GetQueueLength("sales"), 2);
    EXPECT_TRUE(AtFront(a));
    EXPECT_FALSE(AtFront(b));
    EXPECT_TRUE(AtFront(other));
    EXPECT_EQ(strlen(longA.GetGroupName()), 259u);
    EXPECT_FALSE(AtFront(longB));
}

// A caller waits until everyone before it has given up; one leaving from
// the middle moves it up without waking it.
TEST_F(QueueGroupTest, CallersWaitInOrderUntilThoseBeforeThemGiveUp)
{
    auto first = std::make_unique<LPBXQueuerGroupCall>(queues, "701");
    auto middle = std::make_unique<LPBXQueuerGroupCall>(queues, "701");
    LPBXQueuerGroupCall last(queues, "701");
    EXPECT_TRUE(AtFront(*first));
    LSignalObject *wait = LPBXQueuerItem(last).WaitTillFrontOfQueue();
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(queues.GetQueueLength("701"), 3);
    EXPECT_EQ(queues.GetPosition("701", &last.Get()->GetSignal()), 2);
    middle.reset();
    EXPECT_FALSE(wait->IsSignaled());
    EXPECT_FALSE(AtFront(last));
    EXPECT_EQ(queues.GetPosition("701", &last.Get()->GetSignal()), 1);
    first.reset();
    EXPECT_TRUE(wait->IsSignaled());
    EXPECT_TRUE(AtFront(last));
    EXPECT_EQ(queues.GetQueueLength("701"), 1);
}

TEST_F(QueueGroupTest, CopiesHoldThePlaceUntilTheLastGoes)
{
    auto holder = std::make_unique<LPBXQueuerGroupCall>(queues, "701");
    std::vector<LPBXQueuerItem> targets(3, LPBXQueuerItem(*holder));
    LPBXQueuerGroupCall next(queues, "701");
    holder.reset();
    targets.pop_back();
    targets.pop_back();
    EXPECT_FALSE(AtFront(next)) << "one target still holds the first place";
    targets.clear();
    EXPECT_TRUE(AtFront(next));
}

// Callers created in arrival order are served in that order, whichever
// thread waits for them.
TEST_F(QueueGroupTest, ThreadsAreServedInArrivalOrder)
{
    constexpr int kCallers = 24;
    std::vector<std::unique_ptr<LPBXQueuerGroupCall>> calls;
    for (int i = 0; i < kCallers; i++)
        calls.push_back(std::make_unique<LPBXQueuerGroupCall>(queues, "queue"));
    std::mutex lock;
    std::vector<int> served;
    std::vector<std::thread> threads;
    for (int i = kCallers - 1; i >= 0; i--) {
        threads.emplace_back([&, i] {
            LSignalObject *wait = LPBXQueuerItem(*calls[i]).WaitTillFrontOfQueue();
            if (wait && !wait->WaitSignal(kWaitMs))
                return;
            {
                std::lock_guard<std::mutex> scope(lock);
                served.push_back(i);
            }
            calls[i].reset();
        });
    }
    for (auto &t : threads)
        t.join();
    std::vector<int> expected;
    for (int i = 0; i < kCallers; i++)
        expected.push_back(i);
    EXPECT_EQ(served, expected);
}

// Many threads join and leave a few groups at random; per group at most one
// call is at the front at any time and nothing is left behind.
TEST_F(QueueGroupTest, ConcurrentJoinAndLeaveKeepsOneFrontPerGroup)
{
    constexpr int kThreads = 8;
    constexpr int kRounds = 200;
    const char *names[] = {"701", "702", "Sales"};
    std::atomic<int> inFront[3] = {0, 0, 0};
    std::atomic<int> violations{0};
    std::atomic<int> timeouts{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([&, t] {
            for (int r = 0; r < kRounds; r++) {
                int g = (t + r) % 3;
                LPBXQueuerGroupCall call(queues, names[g]);
                LPBXQueuerItem target(call);
                LSignalObject *wait = target.WaitTillFrontOfQueue();
                if (wait && !wait->WaitSignal(kWaitMs)) {
                    timeouts++;
                    continue;
                }
                if (inFront[g].fetch_add(1) != 0)
                    violations++;
                std::this_thread::yield();
                inFront[g].fetch_sub(1);
            }
        });
    }
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(violations.load(), 0);
    EXPECT_EQ(timeouts.load(), 0);
}
} // namespace
