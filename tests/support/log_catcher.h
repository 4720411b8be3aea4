// Program log lines collected while a test runs: installs itself as the log
// sink for its lifetime. Lines may come from any thread.
#pragma once

#include "platform/log.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace vtest
{
class LogCatcher
{
  public:
    using Line = std::pair<int, std::string>; // level, text

    LogCatcher()
    {
        Clear();
        LLog::SetSink(&Sink);
    }
    ~LogCatcher()
    {
        LLog::SetSink(nullptr);
        Clear();
    }
    LogCatcher(const LogCatcher &) = delete;
    LogCatcher &operator=(const LogCatcher &) = delete;

    bool Has(const std::string &text) const
    {
        for (const Line &line : Lines())
            if (line.second.find(text) != std::string::npos)
                return true;
        return false;
    }
    std::vector<Line> Lines() const
    {
        std::lock_guard<std::mutex> lock(Mutex());
        return Store();
    }
    // The texts alone, in the order logged.
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const Line &line : Lines())
            texts.push_back(line.second);
        return texts;
    }
    // The texts so far, which are then forgotten.
    std::vector<std::string> Take()
    {
        std::vector<std::string> texts = Texts();
        Clear();
        return texts;
    }
    // Whether exactly this line was logged.
    bool Heard(const std::string &text) const
    {
        for (const Line &line : Lines())
            if (line.second == text)
                return true;
        return false;
    }
    static void Clear()
    {
        std::lock_guard<std::mutex> lock(Mutex());
        Store().clear();
    }

  private:
    static void Sink(int level, const char *text)
    {
        std::lock_guard<std::mutex> lock(Mutex());
        Store().emplace_back(level, text);
    }
    static std::mutex &Mutex()
    {
        static std::mutex mutex;
        return mutex;
    }
    static std::vector<Line> &Store()
    {
        static std::vector<Line> lines;
        return lines;
    }
};
} // namespace vtest
