// The machine's millisecond tick counter and seconds since 1970, and the
// arithmetic on ticks. Timers read them through an injected LClock
// (platform/clock.h), so that tests can run them in virtual time.
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

// Real monotonic milliseconds (64 bits, never wraps): for bounding blocking
// waits, which must end in real time even while a test runs its timers on a
// manual clock (platform/clock.h).
uint64_t LMonotonicMs();
