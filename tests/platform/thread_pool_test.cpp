#include "platform/thread.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

namespace
{
// Notes the worker it ran on; waits for the stop request when asked to.
class Job : public LDetachedThread
{
  public:
    Job(std::atomic<int> &deleted, std::set<pthread_t> *ids, std::mutex *idsLock, bool wait)
        : m_deleted(deleted), m_ids(ids), m_idsLock(idsLock), m_wait(wait)
    {
    }
    ~Job() override { m_deleted++; }

  protected:
    void ThreadFunction() override
    {
        if (m_ids) {
            std::lock_guard<std::mutex> scope(*m_idsLock);
            m_ids->insert(pthread_self());
        }
        if (m_wait)
            Wait(LWaitForever);
    }

  private:
    std::atomic<int> &m_deleted;
    std::set<pthread_t> *m_ids;
    std::mutex *m_idsLock;
    bool m_wait;
};
} // namespace

TEST(ThreadPool, ThreadsStartedOneAfterTheOtherReuseOneWorker)
{
    LDetachedThreadsOwner owner(4);
    std::atomic<int> deleted{0};
    std::set<pthread_t> ids;
    std::mutex idsLock;
    for (int i = 1; i <= 20; i++) {
        ASSERT_TRUE(owner.StartThread(new Job(deleted, &ids, &idsLock, false)));
        ASSERT_TRUE(vtest::WaitUntil([&] { return deleted == i && owner.GetIdleWorkers() == 1; }));
    }
    EXPECT_EQ(1u, ids.size());
    EXPECT_EQ(0, owner.GetCount());
}

// Two starters race running, finishing and waiting threads against each
// other and against StopThreadsNow (run under TSan for the hand-offs).
TEST(ThreadPool, ConcurrentStartsAndStopDeleteEveryThreadOnce)
{
    std::atomic<int> deleted{0};
    std::atomic<int> started{0};
    {
        LDetachedThreadsOwner owner(3);
        auto starter = [&](bool wait) {
            for (int i = 0; i < 100; i++)
                if (owner.StartThread(new Job(deleted, nullptr, nullptr, wait && i % 10 == 0)))
                    started++;
        };
        std::thread a(starter, false), b(starter, true);
        a.join();
        b.join();
        EXPECT_EQ(200, started.load());
        // The waiting ones end only on the stop request.
        ASSERT_TRUE(vtest::WaitUntil([&] { return owner.GetCount() == 10; }));
        owner.StopThreadsNow();
        EXPECT_EQ(200, deleted.load());
        EXPECT_EQ(0, owner.GetIdleWorkers());
        EXPECT_FALSE(owner.StartThread(new Job(deleted, nullptr, nullptr, false)));
        owner.Reopen();
        ASSERT_TRUE(owner.StartThread(new Job(deleted, nullptr, nullptr, true)));
    } // the destructor stops the last one
    EXPECT_EQ(202, deleted.load());
}
