// Worker threads with a stop flag and a stop signal, and self-deleting
// detached threads kept by an owner that can stop them all.
#pragma once

#include "platform/list.h"
#include "platform/lock.h"
#include "platform/signal.h"
#include "platform/stop_gate.h"
#include "platform/types.h"

#include <atomic>
#include <pthread.h>

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
    LLockObject m_lock; // the thread's own lock, for the derived class

  private:
    static void *Entry(void *self);
    void Join();
    LSignalObject m_stopSignal;
    LLockObject m_startLock; // held while Start stores the new thread
    std::atomic<bool> m_stop{false};
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
  protected:
    void ThreadEnded() override;

  private:
    friend class LDetachedThreadsOwner;
    LDetachedThreadsOwner *m_owner = nullptr;
};

class LDetachedThreadsOwner
{
  public:
    LDetachedThreadsOwner() = default;
    ~LDetachedThreadsOwner() { StopThreadsNow(); }
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
    // The list and its lock, for walking the threads (hold the lock).
    LLockObject &GetLock() { return m_lock; }
    LList &GetThreads() { return m_threads; }

  private:
    friend class LDetachedThread;
    LLockObject m_lock;
    LList m_threads;
    // One entry per thread from StartThread until it is deleted.
    LStopGate m_gate;
};
