// The clock every timer reads: a 32-bit millisecond tick (see tick.h for
// how ticks are compared) and seconds since 1970. It is handed to each
// part that runs a timer, so a test can put a manual clock in its place and
// run minutes of timer behaviour in virtual time.
#pragma once

#include "platform/signal.h"
#include "platform/tick.h"
#include "platform/types.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

class LThread;

class LClock
{
  public:
    virtual ~LClock() = default;
    virtual uint32_t Tick() const = 0;
    virtual int64_t UnixTime() const = 0;
    uint32_t Since(uint32_t then) const { return LTickInterval(Tick(), then); }
    // Waits until signal is signalled, the thread is asked to stop (with a
    // thread) or ms of this clock have passed.
    virtual LProcessResult WaitSignal(LThread *thread, const LSignalObjectRef &signal,
                                      uint32_t ms) const = 0;
    // As the thread's ProcessWaitSignalObjectGroup, in this clock's time.
    virtual LProcessResult WaitGroup(LThread &thread, const LSignalObjectGroup &group,
                                     uint32_t ms) const = 0;
    // Lets ms of this clock pass (pacing, not waiting for anything).
    virtual void Sleep(uint32_t ms) const = 0;
    // For a thread that waits outside the clock (an OS wait with its own
    // timeout, such as epoll_wait): how long to wait in real time for ms of
    // this clock (negative: until woken). The manual clock answers with
    // short slices, so such a thread sees virtual time move.
    virtual int RealWaitMs(int ms) const { return ms; }
};

// The machine's clocks.
class LSystemClock final : public LClock
{
  public:
    uint32_t Tick() const override;
    int64_t UnixTime() const override;
    LProcessResult WaitSignal(LThread *thread, const LSignalObjectRef &signal,
                              uint32_t ms) const override;
    LProcessResult WaitGroup(LThread &thread, const LSignalObjectGroup &group,
                             uint32_t ms) const override;
    void Sleep(uint32_t ms) const override;
};

// A clock that moves only when told to (Advance, SetTick), or by a fixed
// step on every read of the tick, so that time passes between two reads as
// it does on a loaded machine. Its waits end when virtual time reaches
// their end; a test drives a waiting thread with NextWake and WaitsEntered.
// A Sleep moves the clock on by itself, as if the sleeper had slept, so a
// paced writer runs at full speed. Safe to read and advance from several
// threads.
class LManualClock final : public LClock
{
  public:
    explicit LManualClock(uint32_t tick = 0, int64_t unixTime = 1700000000);
    uint32_t Tick() const override;
    int64_t UnixTime() const override;
    LProcessResult WaitSignal(LThread *thread, const LSignalObjectRef &signal,
                              uint32_t ms) const override;
    LProcessResult WaitGroup(LThread &thread, const LSignalObjectGroup &group,
                             uint32_t ms) const override;
    void Sleep(uint32_t ms) const override { m_Ms.fetch_add(ms); }
    int RealWaitMs(int ms) const override { return ms > 1 ? 1 : ms; }

    // Moves both clocks forward (the seconds follow the milliseconds).
    void Advance(uint32_t ms) { m_Ms.fetch_add(ms); }
    void SetTick(uint32_t tick);
    void SetStepPerRead(uint32_t ms) { m_Step.store(ms); }

    // How many waits began so far, and whether one is under way; the tick
    // at which the earliest wait under way ends.
    uint64_t WaitsEntered() const { return m_Entered.load(); }
    bool IsWaiting() const;
    uint32_t NextWake() const;

  private:
    template <class Poll> LProcessResult WaitVirtual(uint32_t ms, Poll poll) const;
    mutable std::atomic<uint64_t> m_Ms;
    std::atomic<uint32_t> m_Step{0};
    const int64_t m_UnixBase;
    const uint64_t m_UnixBaseMs;
    mutable std::atomic<uint64_t> m_Entered{0};
    mutable std::mutex m_Lock;
    mutable std::vector<uint32_t> m_Wakes; // ends of the waits under way
};
