// The delayed release of retired relays, shared by all calls of an exchange.
// A relay the call no longer uses keeps its ports bound for a while, so that
// late packets of its stream do not reach whoever binds them next. One
// thread serves every retired relay (a thread per retirement was a thread
// start per call); it sleeps until the earliest release is due, and a
// retirement that is not the earliest does not wake it. One per exchange,
// owned by its media context; its thread starts with the first retirement.
#pragma once

#include "media/sdp_relay.h"
#include "platform/clock.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

class LSDPRelayReleaser
{
  public:
    // Release times run on clock.
    explicit LSDPRelayReleaser(const LClock &clock) : clock_(clock) {}
    // Releases every relay still held.
    ~LSDPRelayReleaser() { Stop(); }
    LSDPRelayReleaser(const LSDPRelayReleaser &) = delete;
    LSDPRelayReleaser &operator=(const LSDPRelayReleaser &) = delete;

    // Holds relay (already stopped) for delayMs, then destroys it. Returns
    // the ticket to release it early by; 0 when nothing is held (no relay,
    // or the releaser stopped, which destroys the relay at once).
    uint64_t Retire(std::unique_ptr<LSDPRelay> relay, uint32_t delayMs);
    // Destroys the ticket's relay now, unless it is gone already.
    void ReleaseNow(uint64_t ticket);
    bool IsHeld(uint64_t ticket);
    // At shutdown: destroys every held relay without waiting for its time,
    // and ends the thread. Later retirements are released at once.
    void Stop();

  private:
    struct Held {
        uint32_t due; // tick
        std::unique_ptr<LSDPRelay> relay;
    };
    void ThreadMain();
    // Takes one due relay out (returning 0), or notes when the next is due
    // and returns the ms until then, -1 when none is held.
    int TakeDue(std::unique_ptr<LSDPRelay> &out);

    const LClock &clock_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::map<uint64_t, Held> held_; // by ticket
    uint64_t nextTicket_ = 1;
    // When the thread looks again by itself: a later release needs no wake.
    bool waitTimed_ = false;
    uint32_t wakeAt_ = 0;
    bool stopped_ = false;
    std::thread thread_;
};
