#include "platform/tick.h"

#include <ctime>

uint64_t LMonotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u;
}

uint32_t GetTickCount()
{
    return (uint32_t)LMonotonicMs();
}

int64_t GetUnixTime()
{
    return (int64_t)time(nullptr);
}
