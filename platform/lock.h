// Mutual exclusion: a plain (non-recursive) mutex and its scope guard.
#pragma once

#include <mutex>

class LLockObject
{
  public:
    LLockObject() = default;
    LLockObject(const LLockObject &) = delete;
    LLockObject &operator=(const LLockObject &) = delete;

    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }
    bool TryLock() { return m_mutex.try_lock(); }

  private:
    std::mutex m_mutex;
};

// Holds the lock from construction to destruction; Unlock ends it early.
class LLockScope
{
  public:
    explicit LLockScope(LLockObject &lock) : m_lock(&lock) { m_lock->Lock(); }
    ~LLockScope() { Unlock(); }
    LLockScope(const LLockScope &) = delete;
    LLockScope &operator=(const LLockScope &) = delete;

    void Unlock()
    {
        if (m_lock) {
            m_lock->Unlock();
            m_lock = nullptr;
        }
    }

  private:
    LLockObject *m_lock;
};
