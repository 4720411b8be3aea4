#include "platform/thread.h"
#include "platform/tick.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace
{
// Counts its runs and its wakes until asked to stop.
struct Worker : LThread {
    ~Worker() override { StopThreadNow(); }
    std::atomic<int> runs{0}, wakes{0};
    std::atomic<int> stoppedBy{-1}; // the result of the last wait
    LSignalObject wake;
    void ThreadFunction() override
    {
        for (runs++; (stoppedBy = ProcessWaitSignal(wake, 5000)) == LProcessSuccess; wakes++)
            wake.Reset();
    }
};

// Counted while it exists; notes the worker it ran on and the nice value it
// ran with when given where, and waits for the stop request when asked to.
struct Finite : LDetachedThread {
    Finite(std::atomic<int> &alive, bool waitForStop, std::set<pthread_t> *workers = nullptr,
           std::atomic<int> *nice = nullptr)
        : alive(alive), wait(waitForStop), workers(workers), nice(nice)
    {
        alive++;
    }
    ~Finite() override { alive--; }
    void ThreadFunction() override
    {
        if (workers) {
            static std::mutex lock;
            std::lock_guard<std::mutex> hold(lock);
            workers->insert(pthread_self());
        }
        if (nice)
            *nice = getpriority(PRIO_PROCESS, (id_t)gettid());
        if (wait)
            Wait(LWaitForever);
    }
    std::atomic<int> &alive;
    bool wait;
    std::set<pthread_t> *workers;
    std::atomic<int> *nice;
};
} // namespace

TEST(Thread, StartStopAndRestart)
{
    Worker worker;
    ASSERT_TRUE(worker.Start(LThread::StartBelowNormal));
    EXPECT_FALSE(worker.Start()); // still running: nothing happens
    ASSERT_TRUE(vtest::WaitUntil([&] { return worker.runs == 1; }));
    worker.wake.Signal();
    ASSERT_TRUE(vtest::WaitUntil([&] { return worker.wakes == 1; }));
    EXPECT_TRUE(worker.IsRunning());
    uint64_t start = LMonotonicMs();
    worker.StopThreadNow();
    EXPECT_LT(LMonotonicMs() - start, 1000u);
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(LProcessStopped, worker.stoppedBy.load());
    EXPECT_TRUE(worker.IsToStop());
    // A restart clears the stop flag and signal, so the new run waits again.
    ASSERT_TRUE(worker.Start(LThread::StartRealTime)); // may fall back: must run
    ASSERT_TRUE(vtest::WaitUntil([&] { return worker.runs == 2; }));
    EXPECT_FALSE(worker.IsToStop());
    // A stop signal left set would end this wait as "stopped"; a wake that
    // comes back as a success shows the new run waits on a reset signal.
    worker.wake.Signal();
    ASSERT_TRUE(vtest::WaitUntil([&] { return worker.wakes == 2; }));
    EXPECT_TRUE(worker.IsRunning());
    worker.StopThreadSoon();
    worker.StopThreadSoon(); // asked twice: the next start still clears it
    ASSERT_TRUE(vtest::WaitUntil([&] { return !worker.IsRunning(); }));
    EXPECT_TRUE(worker.Start(LThread::StartSame)); // joins the finished run
    ASSERT_TRUE(vtest::WaitUntil([&] { return worker.runs == 3; }));
    worker.wake.Signal();
    ASSERT_TRUE(vtest::WaitUntil([&] { return worker.wakes == 3; }));
    worker.StopThreadNow();
    EXPECT_EQ(3, worker.runs.load());
}

TEST(Thread, WaitsReportSignalTimeOutAndStop)
{
    Worker idle; // never started: its stop signal is still usable
    LSignalObject other, members[3];
    LSignalObjectGroup group;
    for (LSignalObject &m : members)
        group.Add(m);
    int index = -1;
    EXPECT_EQ(LProcessFailed, idle.ProcessWaitSignal(other, 10));
    EXPECT_EQ(LProcessFailed, idle.ProcessWaitSignalObjectGroup(group, 10, &index));
    other.Signal();
    members[2].Signal();
    EXPECT_EQ(LProcessSuccess, idle.ProcessWaitSignal(other, 1000));
    EXPECT_EQ(LProcessSuccess, idle.ProcessWaitSignalObjectGroup(group, 1000, &index));
    EXPECT_EQ(2, index);
    idle.StopThreadSoon();
    EXPECT_FALSE(idle.Sleep(1000));
    EXPECT_EQ(LProcessStopped, idle.ProcessWait(1000));
    EXPECT_EQ(LProcessStopped, idle.ProcessWaitSignal(other, 1000)); // stop wins
    EXPECT_EQ(LProcessStopped, idle.ProcessWaitSignalObjectGroup(group, 1000));
}

TEST(Thread, DetachedThreadsDeleteThemselvesOrAreStoppedByTheOwner)
{
    std::atomic<int> alive{0};
    {
        LDetachedThreadsOwner owner;
        for (int i = 0; i < 20; i++)
            ASSERT_TRUE(owner.StartThread(new Finite(alive, false)));
        ASSERT_TRUE(vtest::WaitUntil([&] { return alive == 0; }, 5000));
        EXPECT_EQ(0, owner.GetCount());

        for (int i = 0; i < 10; i++)
            ASSERT_TRUE(owner.StartThread(new Finite(alive, true), LThread::StartLow));
        EXPECT_EQ(10, owner.GetCount());
        EXPECT_EQ(10, alive.load());
        owner.StopThreadsSoon();
        ASSERT_TRUE(vtest::WaitUntil([&] { return alive == 0; }, 5000));

        for (int i = 0; i < 10; i++)
            owner.StartThread(new Finite(alive, i % 2 == 0));
        owner.StopThreadsNow(); // finished and waiting threads race with it
        EXPECT_EQ(0, owner.GetCount());
        EXPECT_EQ(0, alive.load()) << "also those deleting themselves are gone";
        EXPECT_FALSE(owner.StartThread(new Finite(alive, true))) << "refused once stopped";
        EXPECT_EQ(0, alive.load());
        owner.Reopen();
        ASSERT_TRUE(owner.StartThread(new Finite(alive, true)));
    } // the owner's destructor stops the last one
    EXPECT_EQ(0, alive.load());
}

TEST(ThreadPool, ThreadsStartedOneAfterTheOtherReuseOneWorker)
{
    LDetachedThreadsOwner owner(4);
    std::atomic<int> alive{0};
    std::set<pthread_t> workers;
    // Each run has its own priority on the reused worker (rising only:
    // lowering a nice value needs privilege; 19 is the highest, which a run
    // under nice may already have).
    const int base = getpriority(PRIO_PROCESS, (id_t)gettid());
    std::atomic<int> nice{0};
    for (int i = 1; i <= 20; i++) {
        const int wanted = std::min(base + 1 + i / 11, 19);
        ASSERT_TRUE(owner.StartThread(new Finite(alive, false, &workers, &nice), -wanted));
        ASSERT_TRUE(vtest::WaitUntil([&] { return alive == 0 && owner.GetIdleWorkers() == 1; }));
        EXPECT_EQ(wanted, nice.load());
    }
    EXPECT_EQ(1u, workers.size());
    EXPECT_EQ(0, owner.GetCount());
}

// Two starters race running, finishing and waiting threads against each
// other and against StopThreadsNow (run under TSan for the hand-offs).
TEST(ThreadPool, ConcurrentStartsAndStopDeleteEveryThreadOnce)
{
    std::atomic<int> alive{0}, started{0};
    LDetachedThreadsOwner owner(3);
    auto starter = [&](bool wait) {
        for (int i = 0; i < 100; i++)
            started += owner.StartThread(new Finite(alive, wait && i % 10 == 0));
    };
    std::thread a(starter, false), b(starter, true);
    a.join();
    b.join();
    EXPECT_EQ(200, started.load());
    // The waiting ones end only on the stop request.
    ASSERT_TRUE(vtest::WaitUntil([&] { return owner.GetCount() == 10; }));
    owner.StopThreadsNow();
    EXPECT_EQ(0, alive.load());
    EXPECT_EQ(0, owner.GetIdleWorkers());
}
