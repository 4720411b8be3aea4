#include "platform/name_cache.h"

#include "platform/lock.h"
#include "platform/tick.h"

#include <map>
#include <pthread.h>

namespace
{
struct Entry {
    bool answered = false; // a look-up has finished
    bool found = false;    // one found the name: address
    uint32_t address = 0;
    uint32_t answeredAt = 0;
    bool running = false;
};

bool SystemResolve(const std::string &name, uint32_t &address)
{
    LIPAddressWithPort resolved;
    if (!resolved.SetFromText(name.c_str(), 0))
        return false;
    address = resolved.GetAddress();
    return true;
}
} // namespace

// Outlives the cache while a look-up thread still runs.
struct LNameCache::Shared {
    Shared(const LClock &clock, Resolver resolver, std::function<void()> onAnswer)
        : clock(clock), resolver(std::move(resolver)), onAnswer(std::move(onAnswer))
    {
    }
    const LClock &clock;
    const Resolver resolver;
    LLockObject lock;
    std::map<std::string, Entry> names;
    std::function<void()> onAnswer;
    bool alive = true; // cleared when the cache goes: its clock may be gone too
};

namespace
{
struct Job {
    std::shared_ptr<LNameCache::Shared> shared;
    std::string name;
};

void *RunLookup(void *arg)
{
    std::unique_ptr<Job> job(static_cast<Job *>(arg));
    LNameCache::Shared &shared = *job->shared;
    uint32_t address = 0;
    bool found = shared.resolver(job->name, address);
    LLockScope hold(shared.lock);
    if (!shared.alive)
        return nullptr;
    Entry &entry = shared.names[job->name];
    entry.running = false;
    entry.answered = true;
    entry.answeredAt = shared.clock.Tick();
    // A failure keeps an earlier address: the name server is away, not the
    // host.
    if (found) {
        entry.found = true;
        entry.address = address;
    }
    // Under the lock, so that a cache going away waits for it.
    if (shared.onAnswer)
        shared.onAnswer();
    return nullptr;
}

bool StartLookup(const std::shared_ptr<LNameCache::Shared> &shared, const std::string &name)
{
    auto *job = new Job{shared, name};
    pthread_attr_t attr;
    pthread_t thread;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    bool started = pthread_create(&thread, &attr, RunLookup, job) == 0;
    pthread_attr_destroy(&attr);
    if (!started)
        delete job;
    return started;
}
} // namespace

LNameCache::LNameCache(const LClock &clock, std::function<void()> onAnswer, Resolver resolver)
    : m_Shared(std::make_shared<Shared>(clock, resolver ? std::move(resolver) : SystemResolve,
                                        std::move(onAnswer)))
{
}

// A look-up still running finishes on its own; its answer goes nowhere.
LNameCache::~LNameCache()
{
    LLockScope hold(m_Shared->lock);
    m_Shared->alive = false;
}

LNameLookup LNameCache::Lookup(const char *text, int defaultPort, LIPAddressWithPort &out)
{
    char host[260];
    int port = 0;
    if (!LIPSplitHostPort(text, host, defaultPort, port))
        return LNameLookup::Failed;
    uint32_t address = 0;
    if (LIPParseDotted(host, address)) {
        out = LIPAddressWithPort(address, port);
        return LNameLookup::Found;
    }
    LLockScope hold(m_Shared->lock);
    Entry &entry = m_Shared->names[host];
    uint32_t age = m_Shared->clock.Since(entry.answeredAt);
    if (!entry.running && (!entry.answered || age >= (entry.found ? kFreshMs : kFailedRetryMs)))
        entry.running = StartLookup(m_Shared, host);
    if (entry.found) {
        out = LIPAddressWithPort(entry.address, port);
        return LNameLookup::Found;
    }
    return entry.answered ? LNameLookup::Failed : LNameLookup::Pending;
}
