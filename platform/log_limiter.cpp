#include "platform/log_limiter.h"

void LLogRateLimiter::Close(const std::string &source, Window &window,
                            std::vector<std::string> &summaries)
{
    if (window.held > 0)
        summaries.push_back(std::to_string(window.held) + " more warnings " +
                            (source.empty() ? std::string("") : "caused by " + source + " ") +
                            "in " + std::to_string(m_Limits.windowSeconds) + " s were not logged");
    window.written = window.held = 0;
}

void LLogRateLimiter::Sweep(int64_t now, std::vector<std::string> &summaries)
{
    for (auto it = m_Sources.begin(); it != m_Sources.end();) {
        if (now - it->second.start < m_Limits.windowSeconds) {
            ++it;
            continue;
        }
        Close(it->first, it->second, summaries);
        it = m_Sources.erase(it);
    }
}

bool LLogRateLimiter::Allow(const char *source, int64_t now, std::vector<std::string> &summaries)
{
    LLockScope hold(m_Lock);
    if (now - m_Total.start >= m_Limits.windowSeconds) {
        Sweep(now, summaries);
        Close("", m_Total, summaries);
        m_Total.start = now;
    }
    auto found = m_Sources.find(source);
    if (found == m_Sources.end() && m_Sources.size() < kMaxSources)
        found = m_Sources.emplace(source, Window{now, 0, 0}).first;
    Window *own = found == m_Sources.end() ? nullptr : &found->second;
    if (own && now - own->start >= m_Limits.windowSeconds) {
        Close(found->first, *own, summaries);
        own->start = now;
    }
    if ((own && own->written >= m_Limits.perSource) || m_Total.written >= m_Limits.total) {
        (own && own->written >= m_Limits.perSource ? own : &m_Total)->held++;
        return false;
    }
    if (own)
        own->written++;
    m_Total.written++;
    return true;
}
