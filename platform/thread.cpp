#include "platform/thread.h"

#include "platform/log.h"

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace
{
// Refusals are logged once per kind: a relay thread per call would
// otherwise repeat the same warning all day.
std::atomic<bool> gNiceWarned{false};
std::atomic<bool> gRealTimeWarned{false};

void WarnOnce(std::atomic<bool> &flag, const char *text, int error)
{
    if (!flag.exchange(true))
        LOGWARNF("%s (%s); running with the ordinary scheduler", text, strerror(error));
}

// A pooled call worker applies the same priority at every call it runs:
// the priority applied last to this thread spares the repeated system call.
// Kept per thread, as the kernel keeps it; unknown until first applied.
thread_local int tAppliedPriority = LThread::StartSame;
} // namespace

void LThreadApplyPriority(int priority)
{
    if (priority == LThread::StartSame || priority == tAppliedPriority)
        return;
    if (priority >= 1) {
        sched_param param{};
        param.sched_priority = priority;
        int error = pthread_setschedparam(pthread_self(), SCHED_RR, &param);
        if (error != 0)
            WarnOnce(gRealTimeWarned, "Real-time thread priority refused", error);
        else
            tAppliedPriority = priority;
        return;
    }
    // Linux keeps a nice value per thread; PRIO_PROCESS with the thread id
    // sets only this one.
    if (setpriority(PRIO_PROCESS, (id_t)gettid(), -priority) != 0)
        WarnOnce(gNiceWarned, "Thread nice value refused", errno);
    else
        tAppliedPriority = priority;
}

LThread::~LThread()
{
    StopThreadNow();
}

void *LThread::Entry(void *arg)
{
    ((LThread *)arg)->RunBody();
    return nullptr;
}

// ThreadEnded is the last touch: the object may be gone after it.
void LThread::RunBody()
{
    {
        // Wait until Start has stored the thread handle.
        LLockScope gate(m_startLock);
    }
    LThreadApplyPriority(m_priority);
    ThreadFunction();
    m_running.store(false, std::memory_order_release);
    ThreadEnded();
}

bool LThread::BeginPooledRun(int priority)
{
    LLockScope scope(m_startLock);
    return PrepareRunLocked(priority);
}

bool LThread::PrepareRunLocked(int priority)
{
    if (m_running.load(std::memory_order_acquire))
        return false;
    Join();
    m_stop.store(false, std::memory_order_release);
    if (m_stopSignalled.exchange(false, std::memory_order_acq_rel))
        m_stopSignal.Reset();
    m_priority = priority;
    m_running.store(true, std::memory_order_release);
    return true;
}

void LThread::Join()
{
    if (m_joinable && !pthread_equal(m_thread, pthread_self())) {
        pthread_join(m_thread, nullptr);
        m_joinable = false;
    }
}

bool LThread::Start(int priority)
{
    LLockScope scope(m_startLock);
    if (!PrepareRunLocked(priority))
        return false;
    int error = pthread_create(&m_thread, nullptr, Entry, this);
    if (error != 0) {
        m_running.store(false);
        LOGERRORTEXT("Cannot start a thread: ", strerror(error));
        return false;
    }
    m_joinable = true;
    return true;
}

void LThread::StopThreadSoon()
{
    m_stop.store(true, std::memory_order_release);
    // The signal stays set until the next start: asking again (a destructor
    // after StopThreadNow) needs no second write. The mark follows the
    // write, so a start that misses it leaves it for the start after.
    if (!m_stopSignalled.load(std::memory_order_acquire)) {
        m_stopSignal.Signal();
        m_stopSignalled.store(true, std::memory_order_release);
    }
}

void LThread::StopThreadNow()
{
    StopThreadSoon();
    // Join outside the start lock: a thread that was just started waits for
    // that lock at its gate before it can see the stop request.
    pthread_t thread{};
    bool join = false;
    {
        LLockScope scope(m_startLock);
        if (m_joinable && !pthread_equal(m_thread, pthread_self())) {
            thread = m_thread;
            m_joinable = false;
            join = true;
        }
    }
    if (join)
        pthread_join(thread, nullptr);
}

bool LThread::Wait(uint32_t ms)
{
    if (IsToStop())
        return false;
    return !m_stopSignal.WaitSignal(ms) && !IsToStop();
}

LProcessResult LThread::ProcessWait(uint32_t ms)
{
    return Wait(ms) ? LProcessFailed : LProcessStopped;
}

LProcessResult LThread::ProcessWaitSignal(const LSignalObjectRef &signal, uint32_t ms)
{
    if (IsToStop())
        return LProcessStopped;
    int which = m_stopSignal.WaitSignalDual(signal, ms);
    if (which == 0 || IsToStop())
        return LProcessStopped;
    return which == 1 ? LProcessSuccess : LProcessFailed;
}

LProcessResult LThread::ProcessWaitSignalObjectGroup(const LSignalObjectGroup &group, uint32_t ms,
                                                     int *index)
{
    if (IsToStop())
        return LProcessStopped;
    int which = group.WaitWith(m_stopSignal, ms);
    if (which == 0 || IsToStop())
        return LProcessStopped;
    if (which < 0)
        return LProcessFailed;
    if (index)
        *index = which - 1;
    return LProcessSuccess;
}

void LDetachedThread::ThreadEnded()
{
    LDetachedThreadsOwner *owner = m_owner;
    bool pooled = m_pooled;
    bool listed;
    {
        LLockScope scope(owner->m_lock);
        listed = owner->m_threads.Detach(this);
    }
    // A pooled thread's worker holds the owner until it exits itself.
    // Not listed: StopThreadsNow has taken it and will join (or, pooled,
    // wait for the release) and delete it.
    if (!listed) {
        if (pooled)
            owner->Released(this);
        return;
    }
    if (!pooled) {
        pthread_detach(pthread_self());
        ForgetThread();
    }
    ForgetStopSignal();
    delete this;
    // Last: the owner may go as soon as its final thread has left.
    owner->m_gate.Leave();
}

struct LDetachedThreadsOwner::Worker {
    LDetachedThreadsOwner *owner;
    LDetachedThread *job;
    std::condition_variable wake;
};

void LDetachedThreadsOwner::Released(LDetachedThread *thread)
{
    std::lock_guard<std::mutex> scope(m_poolLock);
    thread->m_released = true;
    m_releasedCv.notify_all();
}

void *LDetachedThreadsOwner::WorkerMain(void *arg)
{
    Worker *worker = (Worker *)arg;
    LDetachedThreadsOwner *owner = worker->owner;
    LDetachedThread *job = worker->job;
    for (;;) {
        job->RunBody();
        std::unique_lock<std::mutex> lock(owner->m_poolLock);
        if (owner->m_gate.IsStopRequested() || (int)owner->m_idle.size() >= owner->m_keepIdle)
            break;
        worker->job = nullptr;
        owner->m_idle.push_back(worker);
        worker->wake.wait_for(lock, std::chrono::seconds(kIdleSeconds), [&] {
            return worker->job != nullptr || owner->m_gate.IsStopRequested();
        });
        if (!worker->job) {
            std::erase(owner->m_idle, worker);
            break;
        }
        job = worker->job;
    }
    delete worker;
    // Last: StopThreadsNow (and so the owner) waits for every worker.
    std::lock_guard<std::mutex> scope(owner->m_poolLock);
    owner->m_workers--;
    owner->m_releasedCv.notify_all();
    return nullptr;
}

// The thread is listed and holds its pass; on failure the caller undoes both.
bool LDetachedThreadsOwner::StartPooled(LDetachedThread *thread, int priority)
{
    if (!thread->BeginPooledRun(priority))
        return false;
    {
        std::lock_guard<std::mutex> scope(m_poolLock);
        if (!m_idle.empty()) {
            Worker *worker = m_idle.back();
            m_idle.pop_back();
            worker->job = thread;
            worker->wake.notify_one();
            return true;
        }
    }
    Worker *worker = new Worker{this, thread, {}};
    {
        std::lock_guard<std::mutex> scope(m_poolLock);
        m_workers++;
    }
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t id;
    int error = pthread_create(&id, &attr, WorkerMain, worker);
    pthread_attr_destroy(&attr);
    if (error == 0)
        return true;
    LOGERRORTEXT("Cannot start a thread: ", strerror(error));
    delete worker;
    {
        std::lock_guard<std::mutex> scope(m_poolLock);
        m_workers--;
    }
    thread->m_running.store(false, std::memory_order_release);
    return false;
}

bool LDetachedThreadsOwner::StartThread(LDetachedThread *thread, int priority)
{
    if (!thread)
        return false;
    if (!m_gate.TryEnter()) {
        delete thread;
        return false;
    }
    thread->m_owner = this;
    // Set before listing: StopThreadsNow reads it once it takes the thread.
    thread->m_pooled = m_keepIdle > 0;
    {
        LLockScope scope(m_lock);
        m_threads.Add(thread);
    }
    if (m_keepIdle > 0 ? StartPooled(thread, priority) : thread->Start(priority))
        return true;
    {
        LLockScope scope(m_lock);
        m_threads.Detach(thread);
    }
    delete thread;
    m_gate.Leave();
    return false;
}

void LDetachedThreadsOwner::StopThreadsSoon()
{
    LLockScope scope(m_lock);
    for (LListIteratorOf<LDetachedThread> it(m_threads); it.Get(); it.Next())
        it->StopThreadSoon();
}

void LDetachedThreadsOwner::StopThreadsNow()
{
    m_gate.RequestStop();
    StopThreadsSoon();
    for (;;) {
        LDetachedThread *thread;
        {
            LLockScope scope(m_lock);
            thread = static_cast<LDetachedThread *>(m_threads.DetachFirst());
        }
        if (!thread)
            break;
        thread->StopThreadNow();
        if (thread->m_pooled) {
            std::unique_lock<std::mutex> lock(m_poolLock);
            m_releasedCv.wait(lock, [thread] { return thread->m_released; });
        }
        delete thread;
        m_gate.Leave();
    }
    {
        // Idle workers leave; one about to wait sees the stop request first.
        std::unique_lock<std::mutex> lock(m_poolLock);
        for (Worker *worker : m_idle)
            worker->wake.notify_one();
        m_releasedCv.wait(lock, [this] { return m_workers == 0; });
    }
    // A thread that took itself off the list may still be deleting itself.
    m_gate.WaitIdle();
}

int LDetachedThreadsOwner::GetCount()
{
    LLockScope scope(m_lock);
    return m_threads.GetCount();
}

int LDetachedThreadsOwner::GetIdleWorkers()
{
    std::lock_guard<std::mutex> scope(m_poolLock);
    return (int)m_idle.size();
}
