// Worker threads with a stop flag and a stop signal, and self-deleting
// detached threads kept by an owner that can stop them all.
#pragma once

#include "platform/list.h"
#include "platform/lock.h"
#include "platform/signal.h"
#include "platform/stop_gate.h"
#include "platform/types.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <vector>

class LThread
{
  public:
    // Below 1: the ordinary scheduler with nice value -priority; 1 or more:
    // round-robin real-time scheduling at that priority.
    enum Priority : int {
        StartLow = -10,
        StartBelowNormal = -3,
        StartNormal = 0,
        StartHigh = 80,
        StartRealTime = 91,
        StartSame = 0x7FFF, // keep the caller's
    };

    LThread() = default;
    // The stop signal's descriptor comes from signals and goes back to it.
    explicit LThread(std::shared_ptr<LSignalPool> signals) : m_stopSignal(std::move(signals)) {}
    // Stops and joins a thread still running. A derived class whose
    // ThreadFunction uses its own members must call StopThreadNow in its own
    // destructor, before those members go.
    virtual ~LThread();
    LThread(const LThread &) = delete;
    LThread &operator=(const LThread &) = delete;

    // Joins a finished earlier run, then starts a new one: clears the stop
    // flag, resets the stop signal and runs ThreadFunction. Returns false
    // (doing nothing) while the thread still runs, or when it cannot start.
    bool Start(int priority = StartNormal);
    // Asks the thread to stop: sets the flag and signals.
    void StopThreadSoon();
    // Asks and joins (unless called from the thread itself).
    void StopThreadNow();
    bool IsToStop() const { return m_stop.load(std::memory_order_acquire); }
    bool IsRunning() const { return m_running.load(std::memory_order_acquire); }

    // True when ms passed without a stop request (returns early on one).
    bool Wait(uint32_t ms);
    bool Sleep(uint32_t ms) { return Wait(ms); }
    // Wait on the stop signal together with the given objects: success when
    // one of them is signalled, stopped on a stop request, failed when the
    // time runs out (ProcessWait, having no objects, never succeeds).
    LProcessResult ProcessWait(uint32_t ms);
    LProcessResult ProcessWaitSignal(const LSignalObjectRef &signal, uint32_t ms);
    LProcessResult ProcessWaitSignalObjectGroup(const LSignalObjectGroup &group, uint32_t ms,
                                                int *index = nullptr);

    LSignalObject &GetStopSignal() { return m_stopSignal; }
    LLockObject &GetLock() { return m_lock; }

  protected:
    virtual void ThreadFunction() = 0;
    // Runs on the thread after ThreadFunction returned; the last thing that
    // touches the object (a detached thread deletes itself here).
    virtual void ThreadEnded() {}
    // For a thread that detached itself: nothing is left to join.
    void ForgetThread() { m_joinable = false; }
    // For a thread object about to be deleted by its own thread, which no
    // other thread can reach any more: nobody is left to wake, so the stop
    // request of its destructor need not write the signal.
    void ForgetStopSignal() { m_stopSignalled.store(true, std::memory_order_release); }
    LLockObject m_lock; // the thread's own lock, for the derived class

  private:
    friend class LDetachedThreadsOwner;
    static void *Entry(void *self);
    // Start and body for a run on a pooled worker (no pthread of its own,
    // so nothing to join: the owner waits for the run's end instead).
    bool BeginPooledRun(int priority);
    // Marks the thread running unless it is; m_startLock held.
    bool PrepareRunLocked(int priority);
    void RunBody();
    void Join();
    LSignalObject m_stopSignal;
    LLockObject m_startLock; // held while Start stores the new thread
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_stopSignalled{false}; // m_stopSignal written since the last start
    std::atomic<bool> m_running{false};
    pthread_t m_thread{};
    bool m_joinable = false;
    int m_priority = StartNormal;
};

// Applies a priority to the calling thread; logs and carries on with the
// ordinary scheduler when the system refuses (no privilege).
void LThreadApplyPriority(int priority);

class LDetachedThreadsOwner;

// A thread that lives in an owner's list and deletes itself when its
// ThreadFunction returns.
class LDetachedThread : public LThread, public LListable
{
  public:
    LDetachedThread() = default;
    explicit LDetachedThread(std::shared_ptr<LSignalPool> signals) : LThread(std::move(signals)) {}

  protected:
    void ThreadEnded() override;

  private:
    friend class LDetachedThreadsOwner;
    LDetachedThreadsOwner *m_owner = nullptr;
    bool m_pooled = false;
    bool m_released = false; // pooled, off the list and no longer touched
};

class LDetachedThreadsOwner
{
  public:
    LDetachedThreadsOwner() = default;
    // keepIdle > 0: a finished thread's worker waits (up to kIdleSeconds)
    // to run the next thread started, keeping at most keepIdle waiting, so
    // a steady stream of short threads (one per call) does not pay a thread
    // start each. Each thread object still runs alone, once, and is deleted
    // when its ThreadFunction returns.
    explicit LDetachedThreadsOwner(int keepIdle) : m_keepIdle(keepIdle) {}
    ~LDetachedThreadsOwner() { StopThreadsNow(); }
    static constexpr int kIdleSeconds = 30;
    LDetachedThreadsOwner(const LDetachedThreadsOwner &) = delete;
    LDetachedThreadsOwner &operator=(const LDetachedThreadsOwner &) = delete;

    // Lists and starts the thread (new'ed by the caller, owned from now on);
    // a thread that cannot start, or comes after StopThreadsNow, is deleted
    // and false returned.
    bool StartThread(LDetachedThread *thread, int priority = LThread::StartNormal);
    // Asks every listed thread to stop.
    void StopThreadsSoon();
    // Refuses new threads, asks all, then takes them off the list one at a
    // time under the lock and stops, joins and deletes each outside it.
    // Returns once every thread, also one deleting itself, is gone.
    void StopThreadsNow();
    // Accepts threads again after StopThreadsNow.
    void Reopen() { m_gate.Reopen(); }
    int GetCount();
    // Workers waiting for the next thread.
    int GetIdleWorkers();
    // The list and its lock, for walking the threads (hold the lock).
    LLockObject &GetLock() { return m_lock; }
    LList &GetThreads() { return m_threads; }

  private:
    friend class LDetachedThread;
    struct Worker;
    static void *WorkerMain(void *arg);
    bool StartPooled(LDetachedThread *thread, int priority);
    void Released(LDetachedThread *thread);
    LLockObject m_lock;
    LList m_threads;
    int m_keepIdle = 0;
    std::mutex m_poolLock; // the workers, idle ones and the released flags
    std::condition_variable m_releasedCv;
    std::vector<Worker *> m_idle;
    int m_workers = 0;
    // One entry per thread from StartThread until it is deleted.
    LStopGate m_gate;
};
