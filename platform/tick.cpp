#include "platform/tick.h"

#include <atomic>
#include <ctime>

namespace
{
std::atomic<bool> gTestInstalled{false};
// The test clock counts milliseconds in 64 bits; the tick is its low half.
std::atomic<uint64_t> gTestMs{0};
std::atomic<int64_t> gTestUnixBase{0};
std::atomic<uint64_t> gTestUnixBaseMs{0};

} // namespace

uint64_t LMonotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u;
}

uint32_t GetTickCount()
{
    if (gTestInstalled.load(std::memory_order_acquire))
        return (uint32_t)gTestMs.load();
    return (uint32_t)LMonotonicMs();
}

int64_t GetUnixTime()
{
    if (gTestInstalled.load(std::memory_order_acquire)) {
        uint64_t elapsed = gTestMs.load() - gTestUnixBaseMs.load();
        return gTestUnixBase.load() + (int64_t)(elapsed / 1000u);
    }
    return (int64_t)time(nullptr);
}

namespace LTestClock
{
void Install(uint32_t tick, int64_t unixTime)
{
    gTestMs.store(tick);
    gTestUnixBaseMs.store(tick);
    gTestUnixBase.store(unixTime);
    gTestInstalled.store(true, std::memory_order_release);
}

void Remove()
{
    gTestInstalled.store(false, std::memory_order_release);
}

bool IsInstalled()
{
    return gTestInstalled.load();
}

void Advance(uint32_t ms)
{
    gTestMs.fetch_add(ms);
}

void SetTick(uint32_t tick)
{
    // Keep the 64-bit count moving forward so the seconds never go back.
    uint64_t now = gTestMs.load();
    gTestMs.store(now + (uint32_t)(tick - (uint32_t)now));
}
} // namespace LTestClock
