// The one way a part stops the threads that work for it: once a stop is
// requested no new work is let in, and the stopper waits until the work
// already in flight has left. Work is a pass held for as long as it runs; a
// part that starts again after a stop reopens its gate.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class LStopGate
{
  public:
    // One piece of work let in; leaves the gate when it goes. An empty pass
    // (false) means the gate was closed: the work must not start.
    class Pass
    {
      public:
        Pass() = default;
        Pass(Pass &&other) noexcept : m_gate(other.m_gate) { other.m_gate = nullptr; }
        Pass &operator=(Pass &&other) noexcept;
        ~Pass() { Release(); }
        explicit operator bool() const { return m_gate != nullptr; }
        // Leaves now; after this the pass is empty. The last thing a
        // detached worker does with its owner.
        void Release();

      private:
        friend class LStopGate;
        explicit Pass(LStopGate *gate) : m_gate(gate) {}
        LStopGate *m_gate = nullptr;
    };

    LStopGate() = default;
    LStopGate(const LStopGate &) = delete;
    LStopGate &operator=(const LStopGate &) = delete;

    // Lets one piece of work in unless a stop was requested.
    Pass Enter();
    // The same for work whose end is signalled from elsewhere (Leave).
    bool TryEnter();
    void Leave();

    // Refuses new work from now on; work in flight reads IsStopRequested.
    void RequestStop();
    bool IsStopRequested() const { return m_stop.load(std::memory_order_acquire); }
    // The stop request as a flag, for waits that poll one.
    const std::atomic<bool> *StopFlag() const { return &m_stop; }
    // Waits until no work is in flight; false when ms ran out first.
    bool WaitIdle(uint32_t ms);
    void WaitIdle();
    // Lets work in again (the part starts anew after a stop).
    void Reopen();
    int GetActive();

  private:
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::condition_variable m_idle;
    int m_active = 0;
};
