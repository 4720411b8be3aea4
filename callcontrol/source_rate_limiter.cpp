#include "callcontrol/source_rate_limiter.h"

#include "platform/tick.h"

namespace
{
constexpr uint32_t kWindowMs = 1000;
}

LSourceRateLimiter::Window &LSourceRateLimiter::Find(uint32_t host, uint32_t tick)
{
    auto found = m_Sources.find(host);
    if (found != m_Sources.end())
        return found->second;
    if (m_Sources.size() >= kMaxSources) {
        for (auto it = m_Sources.begin(); it != m_Sources.end();)
            it = LTickInterval(tick, it->second.start) >= kWindowMs ? m_Sources.erase(it)
                                                                    : std::next(it);
        if (m_Sources.size() >= kMaxSources)
            return m_Overflow;
    }
    Window &window = m_Sources[host];
    window.start = tick;
    return window;
}

bool LSourceRateLimiter::Allow(uint32_t host, uint32_t tick, bool &firstRefusal)
{
    Window &window = Find(host, tick);
    if (LTickInterval(tick, window.start) >= kWindowMs)
        window = Window{tick, 0, 0};
    firstRefusal = false;
    if (window.used >= m_PerSecond) {
        firstRefusal = ++window.refused == 1;
        return false;
    }
    window.used++;
    return true;
}

void LSourceRateLimiter::Charge(uint32_t host, int extra)
{
    auto found = m_Sources.find(host);
    (found != m_Sources.end() ? found->second : m_Overflow).used += extra;
}
