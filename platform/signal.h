// Events that can be waited on together with sockets. An LSignalObject is a
// non-blocking, close-on-exec eventfd: Signal adds to its counter, Reset
// reads it back to zero, and it polls readable (signalled) until then.
// LSignalObjectRef names anything pollable for reading (a signal object or a
// socket).
#pragma once

#include "platform/types.h"

#include <atomic>
#include <cstdint>
#include <memory>

class LSignalObject;
class LSignalPool;

class LSignalObjectRef
{
  public:
    LSignalObjectRef() = default;
    explicit LSignalObjectRef(int fd) : m_fd(fd) {}
    LSignalObjectRef(const LSignalObject &signal);

    int GetHandle() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }

    // True when signalled (readable) now.
    bool IsSignaled() const;
    // True when signalled within ms (LWaitForever waits without limit).
    bool WaitSignal(uint32_t ms) const;
    void WaitSignalForever() const { WaitSignal(LWaitForever); }
    // Index of the first signalled object (0 this, 1 other, 2 third), or -1
    // when ms passed.
    int WaitSignalDual(const LSignalObjectRef &other, uint32_t ms) const;
    int WaitSignalTriple(const LSignalObjectRef &other, const LSignalObjectRef &third,
                         uint32_t ms) const;

  protected:
    int m_fd = -1;
};

class LSignalObject : public LSignalObjectRef
{
  public:
    LSignalObject();
    // Takes its descriptor from pool and gives it back, cleared, when it
    // goes (no pool: a descriptor of its own, closed when it goes).
    explicit LSignalObject(std::shared_ptr<LSignalPool> pool);
    ~LSignalObject();
    LSignalObject(const LSignalObject &) = delete;
    LSignalObject &operator=(const LSignalObject &) = delete;

    void Signal();
    // True when the counter was above zero (the object was signalled).
    bool Reset();
    // For an object nobody waits on any more: its descriptor goes back to
    // the pool (cleared) or is closed now; later Signal and Reset do nothing.
    // The caller keeps Signal from running meanwhile.
    void Release();

  private:
    std::shared_ptr<LSignalPool> m_pool;
    // Set after every write, cleared before every read: the counter is
    // never left above zero with it clear, so a descriptor going back to
    // the pool needs a read only when it is set.
    std::atomic<bool> m_maybeSet{false};
};

// Up to 255 objects or sockets waited on at once.
class LSignalObjectGroup
{
  public:
    static constexpr int MaxObjects = 255;

    // False when the group is full or the object is invalid.
    bool Add(const LSignalObjectRef &object);
    bool AddSocket(int fd) { return Add(LSignalObjectRef(fd)); }
    bool Remove(const LSignalObjectRef &object);
    void Clear() { m_count = 0; }
    int GetCount() const { return m_count; }
    const LSignalObjectRef &Get(int index) const { return m_objects[index]; }

    // Index of the first signalled object, or -1 when ms passed (or the group
    // is empty and ms passed).
    int Wait(uint32_t ms) const;
    // As Wait, with one more object in front (index 0; the group's objects
    // follow from 1). Used to add a stop signal.
    int WaitWith(const LSignalObjectRef &first, uint32_t ms) const;

  private:
    LSignalObjectRef m_objects[MaxObjects];
    int m_count = 0;
};

// Waits until one of count descriptors is readable; returns its index, or -1
// when ms passed. Retries interrupted waits with the remaining time.
int LWaitReadable(const int *fds, int count, uint32_t ms);
