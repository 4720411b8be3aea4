// Waiting for a condition that another thread brings about: polls it every
// millisecond until it holds or the deadline passes, so a test never sleeps a
// fixed time and hopes.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace vtest
{
inline bool WaitUntil(const std::function<bool()> &done, int timeoutMs = 5000)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
} // namespace vtest
