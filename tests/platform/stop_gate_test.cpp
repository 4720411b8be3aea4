#include "platform/stop_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(StopGate, RefusesAfterStopAndWaitsForWorkInFlight)
{
    LStopGate gate;
    LStopGate::Pass held = gate.Enter();
    ASSERT_TRUE(held);
    gate.RequestStop();
    EXPECT_FALSE(gate.Enter()) << "no new work once stop is requested";
    EXPECT_FALSE(gate.TryEnter());
    EXPECT_FALSE(gate.WaitIdle(20)) << "the held pass is still in flight";
    LStopGate::Pass moved = std::move(held);
    EXPECT_FALSE(held);
    EXPECT_EQ(gate.GetActive(), 1) << "moving a pass does not leave twice";
    moved.Release();
    EXPECT_TRUE(gate.WaitIdle(0));
    gate.Reopen();
    EXPECT_TRUE(gate.Enter()) << "a restarted part lets work in again";
}

// Workers write plain data while they hold a pass; the stopper reads it once
// the gate is idle, while the workers still knock. Without the ordering
// WaitIdle gives, ThreadSanitizer reports the read as a race; work let in
// after the stop shows up as a count that still grows.
TEST(StopGate, StopperSeesAllWorkDoneAndNothingAfter)
{
    LStopGate gate;
    constexpr int kWorkers = 4;
    long written[kWorkers] = {};
    std::atomic<int> started{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; w++)
        workers.emplace_back([&, w] {
            for (bool first = true;; first = false) {
                LStopGate::Pass pass = gate.Enter();
                if (!pass)
                    break;
                written[w]++;
                if (first)
                    started++;
                std::this_thread::yield();
            }
        });
    while (started.load() < kWorkers)
        std::this_thread::yield();
    gate.RequestStop();
    gate.WaitIdle();
    long atIdle = 0;
    for (long n : written)
        atIdle += n;
    for (std::thread &t : workers)
        t.join();
    long atEnd = 0;
    for (long n : written)
        atEnd += n;
    EXPECT_GE(atIdle, kWorkers);
    EXPECT_EQ(atEnd, atIdle) << "no work was let in after the stop";
}
