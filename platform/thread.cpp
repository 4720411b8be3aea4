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
} // namespace

void LThreadApplyPriority(int priority)
{
    if (priority == LThread::StartSame)
        return;
    if (priority >= 1) {
        sched_param param{};
        param.sched_priority = priority;
        int error = pthread_setschedparam(pthread_self(), SCHED_RR, &param);
        if (error != 0)
            WarnOnce(gRealTimeWarned, "Real-time thread priority refused", error);
        return;
    }
    // Linux keeps a nice value per thread; PRIO_PROCESS with the thread id
    // sets only this one.
    if (setpriority(PRIO_PROCESS, (id_t)gettid(), -priority) != 0)
        WarnOnce(gNiceWarned, "Thread nice value refused", errno);
}

LThread::~LThread()
{
    StopThreadNow();
}

void *LThread::Entry(void *arg)
{
    LThread *self = (LThread *)arg;
    {
        // Wait until Start has stored the thread handle.
        LLockScope gate(self->m_startLock);
    }
    LThreadApplyPriority(self->m_priority);
    self->ThreadFunction();
    self->m_running.store(false, std::memory_order_release);
    self->ThreadEnded();
    return nullptr;
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
    if (m_running.load(std::memory_order_acquire))
        return false;
    Join();
    m_stop.store(false, std::memory_order_release);
    m_stopSignal.Reset();
    m_priority = priority;
    m_running.store(true, std::memory_order_release);
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
    m_stopSignal.Signal();
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
    bool listed;
    {
        LLockScope scope(owner->m_lock);
        listed = owner->m_threads.Detach(this);
    }
    // Not listed: StopThreadsNow has taken it and will join and delete it.
    if (!listed)
        return;
    pthread_t self = pthread_self();
    pthread_detach(self);
    ForgetThread();
    delete this;
    // Last: the owner may go as soon as its final thread has left.
    owner->m_gate.Leave();
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
    {
        LLockScope scope(m_lock);
        m_threads.Add(thread);
    }
    if (thread->Start(priority))
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
        delete thread;
        m_gate.Leave();
    }
    // A thread that took itself off the list may still be deleting itself.
    m_gate.WaitIdle();
}

int LDetachedThreadsOwner::GetCount()
{
    LLockScope scope(m_lock);
    return m_threads.GetCount();
}
