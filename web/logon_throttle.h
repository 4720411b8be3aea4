// Slows down password guessing at the log-on page: after a few failures from
// one address or for one user name, each further attempt waits longer before
// its password is checked, up to a cap. Attempts from one address queue
// behind each other, so parallel connections do not guess faster.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

class LWebLogonThrottle
{
  public:
    using Clock = std::function<long long()>; // milliseconds, monotonic

    static constexpr int kFreeFailures = 3;
    static constexpr long long kStepMs = 200;
    static constexpr long long kMaxDelayMs = 1000;
    // Failures are forgotten after this long without another one.
    static constexpr long long kForgetMs = 15 * 60 * 1000;
    static constexpr size_t kMaxEntries = 4096;

    explicit LWebLogonThrottle(Clock clock);
    LWebLogonThrottle();

    // The wait before the n+1st attempt after n failures.
    static long long DelayAfter(int failures);

    // Milliseconds this attempt must wait before its password is checked;
    // the address's queue moves on by that attempt's delay.
    long long Admit(uint32_t address, const std::string &user);
    // Counts and logs a failure; a success forgets the address and user.
    void Failed(uint32_t address, const std::string &user);
    void Succeeded(uint32_t address, const std::string &user);

  private:
    struct Entry {
        int failures = 0;
        long long next_allowed = 0;
        long long last_failure = 0;
    };
    Entry &Get(const std::string &key, long long now);
    void Trim(long long now);

    Clock clock;
    std::mutex lock;
    std::map<std::string, Entry> entries;
};

// Waits ms in slices, ending early when stop is set; false when stopped.
bool WebLogonSleep(long long ms, const std::atomic<bool> *stop);
