// Keeps warnings caused by outside senders from flooding the program log: per
// source a few lines per window, and a cap for all sources together. What is
// held back is counted and reported in one summary line once the window is
// over, so a flood leaves a trace without growing the log with every packet.
#pragma once

#include "platform/lock.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class LLogRateLimiter
{
  public:
    struct Limits {
        int perSource = 4; // lines per source and window
        int total = 40;    // lines of all sources per window
        int64_t windowSeconds = 10;
    };
    // Sources remembered at once; beyond, new sources share the total cap.
    static constexpr size_t kMaxSources = 4096;

    LLogRateLimiter() = default;
    explicit LLogRateLimiter(const Limits &limits) : m_Limits(limits) {}

    // Whether a warning caused by source (a text such as "a.b.c.d") may be
    // written at now (seconds). summaries receives the summary lines of
    // windows that have ended, to be written before it.
    bool Allow(const char *source, int64_t now, std::vector<std::string> &summaries);

  private:
    struct Window {
        int64_t start = 0;
        int written = 0;
        int held = 0;
    };
    void Close(const std::string &source, Window &window, std::vector<std::string> &summaries);
    void Sweep(int64_t now, std::vector<std::string> &summaries);

    Limits m_Limits;
    LLockObject m_Lock;
    std::unordered_map<std::string, Window> m_Sources;
    Window m_Total;
};
