// Signal descriptors kept for reuse. Every call makes a few short-lived
// signal objects (its dialogs' queues, its thread's stop and swap signals);
// made from a pool, they take a cleared descriptor from it and give it back
// cleared when they go, so a steady stream of calls creates and closes
// none once the pool holds enough.
#pragma once

#include <mutex>
#include <vector>

class LSignalPool
{
  public:
    explicit LSignalPool(int keep = 256) : m_keep(keep) {}
    ~LSignalPool();
    LSignalPool(const LSignalPool &) = delete;
    LSignalPool &operator=(const LSignalPool &) = delete;

    // A cleared descriptor: a kept one, else a new eventfd (-1 on failure).
    int Take();
    // Takes back a descriptor whose counter is zero; closes it when the
    // pool already keeps enough.
    void Give(int fd);
    int GetKept();

  private:
    std::mutex m_lock;
    std::vector<int> m_fds;
    int m_keep;
};
