#include "media/rtp_relay_loop.h"

#include "platform/log.h"
#include "platform/tick.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace
{
// An epoll key: the slot's generation (so a readiness reported just before a
// relay left is recognised as stale), the slot and the side.
constexpr uint64_t kWakeKey = ~(uint64_t)0;
constexpr int kEventsPerWait = 64;

uint64_t MakeKey(uint32_t generation, int slot, int side)
{
    return ((uint64_t)generation << 32) | ((uint64_t)slot << 1) | (uint64_t)side;
}
} // namespace

// One forwarding thread with its epoll set and its relays.
class LRtpRelayLoop::Lane : private LThread
{
  public:
    Lane(const LClock &clock, int priority);
    ~Lane() override;
    int Add(LRtpRelayLoopClient &client, int fdA, int fdB, uint32_t quietMs);
    void Remove(int slot);
    int GetClientCount();

  private:
    struct Slot {
        LRtpRelayLoopClient *client = nullptr;
        int fds[2] = {-1, -1};
        uint32_t quietMs = 0;
        uint32_t lastActive = 0;
        uint32_t generation = 0;
    };
    // Add and Remove announce themselves, so that the thread, which takes
    // the lock again right after each wait, lets them in first.
    class Turn;

    void ThreadFunction() override;
    bool Open();
    bool Watch(int fd, uint64_t key);
    void Dispatch(uint64_t key, uint32_t now, LRtpRelayBatch &batch);
    void SendQuietKeepAlives(uint32_t now);
    int NextTimeout(uint32_t now) const;
    void Wake();

    const LClock &clock_;
    const int priority_;
    int epoll_ = -1;
    int wake_ = -1; // eventfd: a new client or the stop request
    std::mutex lock_;
    std::condition_variable turnDone_;
    std::atomic<int> waiting_{0};
    std::vector<Slot> slots_;
    std::vector<int> free_;
    int clients_ = 0;
    uint32_t nextQuiet_ = 0; // no client's quiet time ends before it
};

class LRtpRelayLoop::Lane::Turn
{
  public:
    explicit Turn(Lane &loop) : loop_(loop)
    {
        loop_.waiting_.fetch_add(1, std::memory_order_acq_rel);
        lock_ = std::unique_lock<std::mutex>(loop_.lock_);
    }
    ~Turn()
    {
        loop_.waiting_.fetch_sub(1, std::memory_order_acq_rel);
        lock_.unlock();
        loop_.turnDone_.notify_all();
    }

  private:
    Lane &loop_;
    std::unique_lock<std::mutex> lock_;
};

LRtpRelayLoop::Lane::Lane(const LClock &clock, int priority) : clock_(clock), priority_(priority) {}

// At the first relay, so that a media context that never relays holds no
// descriptors and no thread.
bool LRtpRelayLoop::Lane::Open()
{
    if (epoll_ < 0)
        epoll_ = epoll_create1(EPOLL_CLOEXEC);
    if (wake_ < 0 && epoll_ >= 0) {
        wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wake_ >= 0 && !Watch(wake_, kWakeKey)) {
            close(wake_);
            wake_ = -1;
        }
    }
    if (wake_ < 0) {
        LOGERRORNUM("Rtp Relay: event loop FAILED: ", errno);
        return false;
    }
    if (!IsRunning() && !Start(priority_)) {
        LOGERROR("Rtp Relay: the forwarding thread did not start");
        return false;
    }
    return true;
}

LRtpRelayLoop::Lane::~Lane()
{
    StopThreadSoon();
    Wake();
    StopThreadNow();
    if (wake_ >= 0)
        close(wake_);
    if (epoll_ >= 0)
        close(epoll_);
}

bool LRtpRelayLoop::Lane::Watch(int fd, uint64_t key)
{
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = key;
    return epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) == 0;
}

void LRtpRelayLoop::Lane::Wake()
{
    uint64_t one = 1;
    if (wake_ >= 0 && write(wake_, &one, sizeof one) < 0) {
        // Full counter: the loop is woken already.
    }
}

int LRtpRelayLoop::Lane::Add(LRtpRelayLoopClient &client, int fdA, int fdB, uint32_t quietMs)
{
    Turn turn(*this);
    if (!Open())
        return -1;
    int id;
    if (!free_.empty()) {
        id = free_.back();
        free_.pop_back();
    } else {
        id = (int)slots_.size();
        slots_.emplace_back();
    }
    Slot &slot = slots_[id];
    slot.client = &client;
    slot.quietMs = quietMs;
    slot.lastActive = clock_.Tick();
    slot.fds[0] = slot.fds[1] = -1;
    const int fds[2] = {fdA, fdB};
    for (int side = 0; side < 2; ++side) {
        if (fds[side] < 0)
            continue;
        if (!Watch(fds[side], MakeKey(slot.generation, id, side)))
            LOGERRORNUM("Rtp Relay: epoll_ctl FAILED: ", errno);
        else
            slot.fds[side] = fds[side];
    }
    uint32_t due = slot.lastActive + quietMs;
    if (clients_++ == 0 || (int32_t)(due - nextQuiet_) < 0)
        nextQuiet_ = due;
    Wake(); // its wait may run past the new quiet time
    return id;
}

void LRtpRelayLoop::Lane::Remove(int id)
{
    Turn turn(*this);
    if (id < 0 || id >= (int)slots_.size() || slots_[id].client == nullptr)
        return;
    Slot &slot = slots_[id];
    for (int fd : slot.fds)
        if (fd >= 0)
            epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    slot.client = nullptr;
    ++slot.generation;
    free_.push_back(id);
    --clients_;
}

int LRtpRelayLoop::Lane::GetClientCount()
{
    Turn turn(*this);
    return clients_;
}

void LRtpRelayLoop::Lane::ThreadFunction()
{
    auto batch = std::make_unique<LRtpRelayBatch>();
    epoll_event events[kEventsPerWait];
    int timeout = -1;
    for (;;) {
        int ready = epoll_wait(epoll_, events, kEventsPerWait, clock_.RealWaitMs(timeout));
        if (IsToStop())
            return;
        if (ready < 0 && errno != EINTR) {
            LOGERRORNUM("Rtp Relay: epoll_wait FAILED: ", errno);
            return; // the next relay started starts the thread again
        }
        std::unique_lock<std::mutex> lock(lock_);
        turnDone_.wait(lock, [this] { return waiting_.load(std::memory_order_acquire) == 0; });
        uint32_t now = clock_.Tick();
        for (int i = 0; i < ready; ++i)
            Dispatch(events[i].data.u64, now, *batch);
        if (clients_ > 0 && (int32_t)(now - nextQuiet_) >= 0)
            SendQuietKeepAlives(now);
        timeout = NextTimeout(now);
    }
}

void LRtpRelayLoop::Lane::Dispatch(uint64_t key, uint32_t now, LRtpRelayBatch &batch)
{
    if (key == kWakeKey) {
        uint64_t count;
        if (read(wake_, &count, sizeof count) < 0) {
            // Already read: several wakes may share one readiness.
        }
        return;
    }
    size_t id = (size_t)((key & 0xFFFFFFFFu) >> 1);
    if (id >= slots_.size())
        return;
    Slot &slot = slots_[id];
    if (slot.client == nullptr || slot.generation != (uint32_t)(key >> 32))
        return; // the relay left after the wait reported it
    slot.lastActive = now;
    slot.client->OnReadable((key & 1) == 0, batch);
}

void LRtpRelayLoop::Lane::SendQuietKeepAlives(uint32_t now)
{
    bool any = false;
    for (Slot &slot : slots_) {
        if (slot.client == nullptr)
            continue;
        if (LTickInterval(now, slot.lastActive) >= slot.quietMs) {
            slot.client->OnQuiet();
            slot.lastActive = now;
        }
        uint32_t due = slot.lastActive + slot.quietMs;
        if (!any || (int32_t)(due - nextQuiet_) < 0)
            nextQuiet_ = due;
        any = true;
    }
}

int LRtpRelayLoop::Lane::NextTimeout(uint32_t now) const
{
    if (clients_ == 0)
        return -1;
    int32_t left = (int32_t)(nextQuiet_ - now);
    return left > 0 ? (int)left : 0;
}

LRtpRelayLoop::LRtpRelayLoop(const LClock &clock, int lanes, int priority)
{
    for (int i = 0; i < (lanes > 0 ? lanes : 1); ++i)
        lanes_.push_back(std::make_unique<Lane>(clock, priority));
}

LRtpRelayLoop::~LRtpRelayLoop()
{
    if (GetClientCount() != 0)
        LOGERROR("Rtp Relay: event loop ended with relays still running");
}

// An id is the lane's slot times the lane count plus the lane.
int LRtpRelayLoop::Add(LRtpRelayLoopClient &client, int fdA, int fdB, uint32_t quietMs)
{
    int lanes = (int)lanes_.size(), best = 0, fewest = 0;
    for (int i = 0; i < lanes; ++i) {
        int count = lanes_[i]->GetClientCount();
        if (i == 0 || count < fewest) {
            best = i;
            fewest = count;
        }
    }
    int slot = lanes_[best]->Add(client, fdA, fdB, quietMs);
    return slot < 0 ? -1 : slot * lanes + best;
}

void LRtpRelayLoop::Remove(int id)
{
    if (id >= 0)
        lanes_[id % lanes_.size()]->Remove(id / (int)lanes_.size());
}

int LRtpRelayLoop::GetClientCount()
{
    int count = 0;
    for (auto &lane : lanes_)
        count += lane->GetClientCount();
    return count;
}
