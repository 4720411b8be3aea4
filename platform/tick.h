// Millisecond tick counter for timers and seconds since 1970 for expiries.
//
// The tick counter is 32 bits and wraps after about 49.7 days, so ticks are
// never compared with < or >: an elapsed time is the unsigned difference
// (now - then), and a deadline that may lie in the future is tested with the
// signed 32-bit difference. Both stay right across the wrap as long as the
// spans involved are below 2^31 ms (about 24.8 days).
#pragma once

#include <cstdint>

// Milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t GetTickCount();

// Seconds since 1970 (UTC).
int64_t GetUnixTime();

// Elapsed milliseconds from then to now.
inline uint32_t LTickInterval(uint32_t now, uint32_t then)
{
    return (uint32_t)(now - then);
}

// Milliseconds elapsed since then.
inline uint32_t LTickSince(uint32_t then)
{
    return LTickInterval(GetTickCount(), then);
}

// Signed distance a - b: negative while a lies before b.
inline int32_t LTickDiff(uint32_t a, uint32_t b)
{
    return (int32_t)(uint32_t)(a - b);
}

// True once now has reached (or passed) the deadline.
inline bool LTickReached(uint32_t now, uint32_t deadline)
{
    return LTickDiff(now, deadline) >= 0;
}

// Milliseconds left until the deadline, 0 once it has passed.
inline uint32_t LTickRemaining(uint32_t now, uint32_t deadline)
{
    int32_t left = LTickDiff(deadline, now);
    return left > 0 ? (uint32_t)left : 0;
}

// A controllable clock for unit tests of timers. While installed,
// GetTickCount and GetUnixTime return the test clock's values and move only
// when the test advances them. Not meant for production code.
namespace LTestClock
{
void Install(uint32_t tick, int64_t unixTime = 1700000000);
void Remove();
bool IsInstalled();
// Moves both clocks forward (the seconds follow the accumulated milliseconds).
void Advance(uint32_t ms);
void SetTick(uint32_t tick);
} // namespace LTestClock

// Real monotonic milliseconds (64 bits, never wraps), unaffected by the test
// clock: for bounding blocking waits, which must end even while a test has
// frozen the tick counter.
uint64_t LMonotonicMs();
