#include "platform/stop_gate.h"

#include <chrono>

LStopGate::Pass &LStopGate::Pass::operator=(Pass &&other) noexcept
{
    if (this != &other) {
        Release();
        m_gate = other.m_gate;
        other.m_gate = nullptr;
    }
    return *this;
}

void LStopGate::Pass::Release()
{
    LStopGate *gate = m_gate;
    m_gate = nullptr;
    if (gate)
        gate->Leave();
}

LStopGate::Pass LStopGate::Enter()
{
    return Pass(TryEnter() ? this : nullptr);
}

bool LStopGate::TryEnter()
{
    std::lock_guard<std::mutex> hold(m_lock);
    // Tested under the lock: RequestStop sets the flag under it too, so no
    // work slips in after a stopper has seen the gate idle.
    if (m_stop.load(std::memory_order_relaxed))
        return false;
    m_active++;
    return true;
}

void LStopGate::Leave()
{
    // Notified under the lock: a stopper woken by the last leaver may destroy
    // the gate as soon as it holds the lock, so nothing here runs after it.
    std::lock_guard<std::mutex> hold(m_lock);
    if (--m_active == 0)
        m_idle.notify_all();
}

void LStopGate::RequestStop()
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_stop.store(true, std::memory_order_release);
}

bool LStopGate::WaitIdle(uint32_t ms)
{
    std::unique_lock<std::mutex> hold(m_lock);
    return m_idle.wait_for(hold, std::chrono::milliseconds(ms), [this] { return m_active == 0; });
}

void LStopGate::WaitIdle()
{
    std::unique_lock<std::mutex> hold(m_lock);
    m_idle.wait(hold, [this] { return m_active == 0; });
}

void LStopGate::Reopen()
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_stop.store(false, std::memory_order_release);
}

int LStopGate::GetActive()
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_active;
}
