#include "media/sdp_relay_releaser.h"

#include "platform/thread.h"

#include <chrono>

uint64_t LSDPRelayReleaser::Retire(std::unique_ptr<LSDPRelay> relay, uint32_t delayMs)
{
    if (relay == nullptr)
        return 0;
    std::unique_lock<std::mutex> lock(lock_);
    if (stopped_)
        return 0; // the relay goes with the argument, outside the lock
    if (!thread_.joinable())
        thread_ = std::thread([this] { ThreadMain(); });
    const uint32_t due = clock_.Tick() + delayMs;
    const uint64_t ticket = nextTicket_++;
    held_.emplace(ticket, Held{due, std::move(relay)});
    // With the same delay for every call, each release falls after the one
    // the thread waits for: the thread is woken only when it has nothing.
    const bool wake = !waitTimed_ || (int32_t)(due - wakeAt_) < 0;
    if (wake) {
        waitTimed_ = true;
        wakeAt_ = due;
    }
    lock.unlock();
    if (wake)
        wake_.notify_one();
    return ticket;
}

void LSDPRelayReleaser::ReleaseNow(uint64_t ticket)
{
    if (ticket == 0)
        return;
    std::unique_ptr<LSDPRelay> relay;
    std::lock_guard<std::mutex> lock(lock_);
    auto it = held_.find(ticket);
    if (it == held_.end())
        return;
    relay = std::move(it->second.relay);
    held_.erase(it);
    // The lock goes first (declared last): the sockets close outside it,
    // and the thread's wait for this relay just finds nothing due.
}

bool LSDPRelayReleaser::IsHeld(uint64_t ticket)
{
    std::lock_guard<std::mutex> lock(lock_);
    return held_.count(ticket) != 0;
}

void LSDPRelayReleaser::Stop()
{
    std::map<uint64_t, Held> held;
    {
        std::lock_guard<std::mutex> lock(lock_);
        stopped_ = true;
        held.swap(held_);
    }
    wake_.notify_all();
    // No retirement starts the thread once stopped_ is set.
    if (thread_.joinable())
        thread_.join();
}

int LSDPRelayReleaser::TakeDue(std::unique_ptr<LSDPRelay> &out)
{
    const uint32_t now = clock_.Tick();
    int32_t next = -1;
    // Few relays are held at a time (those of live calls that changed
    // media); delays may differ, so every one is looked at.
    for (auto it = held_.begin(); it != held_.end(); ++it) {
        const int32_t left = (int32_t)(it->second.due - now);
        if (left <= 0) {
            out = std::move(it->second.relay);
            held_.erase(it);
            return 0;
        }
        if (next < 0 || left < next)
            next = left;
    }
    waitTimed_ = next >= 0;
    wakeAt_ = now + (uint32_t)next;
    return next;
}

void LSDPRelayReleaser::ThreadMain()
{
    LThreadApplyPriority(LThread::StartBelowNormal);
    std::unique_lock<std::mutex> lock(lock_);
    while (!stopped_) {
        std::unique_ptr<LSDPRelay> due;
        const int waitMs = TakeDue(due);
        if (due != nullptr) {
            // Its sockets close outside the lock: a call retiring a relay
            // meanwhile does not wait for that.
            lock.unlock();
            due.reset();
            lock.lock();
            continue;
        }
        if (waitMs < 0)
            wake_.wait(lock);
        else
            wake_.wait_for(lock, std::chrono::milliseconds(clock_.RealWaitMs(waitMs)));
    }
}
