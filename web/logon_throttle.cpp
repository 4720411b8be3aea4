#include "web/logon_throttle.h"

#include "platform/log.h"
#include "web/weblet_io.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <thread>

namespace
{
std::string AddressKey(uint32_t address)
{
    return "a" + std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 255) + "." +
           std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255);
}

// The user name as typed by anyone: lower case (names compare without
// case) and only printable ASCII, so it is safe in a log line.
std::string UserKey(const std::string &user)
{
    std::string key = "u";
    for (char c : user.substr(0, 64))
        key += std::isprint((unsigned char)c) ? (char)std::tolower((unsigned char)c) : '?';
    return key;
}
} // namespace

LWebLogonThrottle::LWebLogonThrottle(Clock clock) : clock(std::move(clock)) {}

LWebLogonThrottle::LWebLogonThrottle() : clock([] { return WebletNowMs(); }) {}

long long LWebLogonThrottle::DelayAfter(int failures)
{
    if (failures <= kFreeFailures)
        return 0;
    return std::min(kStepMs * (failures - kFreeFailures), kMaxDelayMs);
}

LWebLogonThrottle::Entry &LWebLogonThrottle::Get(const std::string &key, long long now)
{
    Entry &e = entries[key];
    if (e.failures && now - e.last_failure > kForgetMs)
        e = Entry();
    return e;
}

// Guessed user names could grow the table without end: forgotten entries
// go first, then the rest of the user entries (addresses are kept).
void LWebLogonThrottle::Trim(long long now)
{
    if (entries.size() <= kMaxEntries)
        return;
    std::erase_if(entries, [now](const auto &item) {
        return now - item.second.last_failure > kForgetMs && item.second.next_allowed <= now;
    });
    if (entries.size() > kMaxEntries)
        std::erase_if(entries, [](const auto &item) { return item.first[0] == 'u'; });
}

long long LWebLogonThrottle::Admit(uint32_t address, const std::string &user)
{
    std::lock_guard<std::mutex> hold(lock);
    long long now = clock();
    Trim(now);
    Entry &by_address = Get(AddressKey(address), now);
    Entry &by_user = Get(UserKey(user), now);
    long long start = std::max(now, by_address.next_allowed);
    by_address.next_allowed = start + DelayAfter(by_address.failures);
    // The user's delay does not queue: guesses from many addresses must
    // not lock the real administrator out for longer than one delay.
    start = std::max(start, now + DelayAfter(by_user.failures));
    return start - now;
}

void LWebLogonThrottle::Failed(uint32_t address, const std::string &user)
{
    std::string address_key = AddressKey(address), user_key = UserKey(user);
    int count;
    {
        std::lock_guard<std::mutex> hold(lock);
        long long now = clock();
        Entry &by_address = Get(address_key, now);
        Entry &by_user = Get(user_key, now);
        by_address.failures++;
        by_user.failures++;
        by_address.last_failure = by_user.last_failure = now;
        count = std::max(by_address.failures, by_user.failures);
    }
    LOGWARNF("Web log-on failed for user \"%s\" from %s (%d failures in a row).",
             user_key.c_str() + 1, address_key.c_str() + 1, count);
}

void LWebLogonThrottle::Succeeded(uint32_t address, const std::string &user)
{
    std::lock_guard<std::mutex> hold(lock);
    entries.erase(AddressKey(address));
    entries.erase(UserKey(user));
}

bool WebLogonSleep(long long ms, const std::atomic<bool> *stop)
{
    while (ms > 0) {
        if (stop && stop->load())
            return false;
        long long slice = std::min(ms, 200LL);
        std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        ms -= slice;
    }
    return !(stop && stop->load());
}
