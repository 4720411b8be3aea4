// The program log's lines caught in memory for the life of one object: the
// sink is process-wide, so lines logged from other threads count as well.
#pragma once

#include "platform/log.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace vtest
{
class LogCapture
{
  public:
    LogCapture()
    {
        Take();
        LLog::SetSink(&Sink);
    }
    ~LogCapture() { LLog::SetSink(nullptr); }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    std::vector<std::string> Lines() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return lines;
    }
    // The lines so far, which are then forgotten.
    std::vector<std::string> Take()
    {
        std::lock_guard<std::mutex> hold(lock);
        return std::exchange(lines, {});
    }
    bool Heard(const std::string &line) const
    {
        std::lock_guard<std::mutex> hold(lock);
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

  private:
    static void Sink(int, const char *text)
    {
        std::lock_guard<std::mutex> hold(lock);
        lines.emplace_back(text);
    }
    static inline std::mutex lock;
    static inline std::vector<std::string> lines;
};
} // namespace vtest
