#include "platform/clock.h"

#include "platform/thread.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace
{
LProcessResult WaitOn(LThread *thread, const LSignalObjectRef &signal, uint32_t ms)
{
    if (thread)
        return thread->ProcessWaitSignal(signal, ms);
    return signal.WaitSignal(ms) ? LProcessSuccess : LProcessFailed;
}

// A wait on the manual clock that nobody drives still ends, so a test that
// forgets to move the clock fails instead of hanging.
constexpr uint64_t kManualWaitRealLimitMs = 10000;
} // namespace

uint32_t LSystemClock::Tick() const
{
    return GetTickCount();
}

int64_t LSystemClock::UnixTime() const
{
    return GetUnixTime();
}

void LSystemClock::Sleep(uint32_t ms) const
{
    timespec span{(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
    while (nanosleep(&span, &span) != 0 && errno == EINTR) {
    }
}

LProcessResult LSystemClock::WaitSignal(LThread *thread, const LSignalObjectRef &signal,
                                        uint32_t ms) const
{
    return WaitOn(thread, signal, ms);
}

LProcessResult LSystemClock::WaitGroup(LThread &thread, const LSignalObjectGroup &group,
                                       uint32_t ms) const
{
    return thread.ProcessWaitSignalObjectGroup(group, ms);
}

LManualClock::LManualClock(uint32_t tick, int64_t unixTime)
    : m_Ms(tick), m_UnixBase(unixTime), m_UnixBaseMs(tick)
{
}

uint32_t LManualClock::Tick() const
{
    return (uint32_t)m_Ms.fetch_add(m_Step.load());
}

int64_t LManualClock::UnixTime() const
{
    return m_UnixBase + (int64_t)((m_Ms.load() - m_UnixBaseMs) / 1000u);
}

void LManualClock::SetTick(uint32_t tick)
{
    // Keep the 64-bit count moving forward so the seconds never go back.
    uint64_t now = m_Ms.load();
    m_Ms.store(now + (uint32_t)(tick - (uint32_t)now));
}

bool LManualClock::IsWaiting() const
{
    std::lock_guard<std::mutex> hold(m_Lock);
    return !m_Wakes.empty();
}

uint32_t LManualClock::NextWake() const
{
    std::lock_guard<std::mutex> hold(m_Lock);
    uint32_t now = (uint32_t)m_Ms.load();
    uint32_t next = now;
    bool any = false;
    for (uint32_t wake : m_Wakes)
        if (!any || LTickDiff(wake, next) < 0) {
            next = wake;
            any = true;
        }
    return next;
}

// Polls in real slices of 1 ms until a poll succeeds or virtual time
// reaches the end of the wait.
template <class Poll> LProcessResult LManualClock::WaitVirtual(uint32_t ms, Poll poll) const
{
    if (ms == 0)
        return poll(0);
    uint32_t wake = (uint32_t)m_Ms.load() + ms;
    {
        // Counted before it is seen: a driver that finds this wait under way
        // and then reads the count must not take this wait for the next one.
        std::lock_guard<std::mutex> hold(m_Lock);
        m_Entered.fetch_add(1);
        m_Wakes.push_back(wake);
    }
    uint64_t realEnd = LMonotonicMs() + kManualWaitRealLimitMs;
    LProcessResult result = LProcessFailed;
    while (result == LProcessFailed && !LTickReached(Tick(), wake) && LMonotonicMs() < realEnd)
        result = poll(1);
    std::lock_guard<std::mutex> hold(m_Lock);
    m_Wakes.erase(std::find(m_Wakes.begin(), m_Wakes.end(), wake));
    return result;
}

LProcessResult LManualClock::WaitSignal(LThread *thread, const LSignalObjectRef &signal,
                                        uint32_t ms) const
{
    return WaitVirtual(ms, [&](uint32_t slice) { return WaitOn(thread, signal, slice); });
}

LProcessResult LManualClock::WaitGroup(LThread &thread, const LSignalObjectGroup &group,
                                       uint32_t ms) const
{
    return WaitVirtual(
        ms, [&](uint32_t slice) { return thread.ProcessWaitSignalObjectGroup(group, slice); });
}
