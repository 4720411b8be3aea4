// Ownership helpers. LPtr owns exclusively (ownership moves with Assign, so
// messages and calls handed between threads take their owner along); LRef is
// a non-owning view; LCountedPtr shares an LCountable whose count lives in
// the object itself.
#pragma once

#include <atomic>

template <class T> class LPtr
{
  public:
    LPtr() = default;
    explicit LPtr(T *object) : m_p(object) {}
    ~LPtr() { delete m_p; }
    LPtr(const LPtr &) = delete;
    LPtr &operator=(const LPtr &) = delete;
    LPtr(LPtr &&other) : m_p(other.Detach()) {}
    LPtr &operator=(LPtr &&other)
    {
        Assign(other);
        return *this;
    }

    // Takes the object of other (other is left empty).
    void Assign(LPtr &other)
    {
        if (&other != this)
            Reset(other.Detach());
    }
    // Deletes the current object and owns the new one.
    void Reset(T *object = nullptr)
    {
        if (object == m_p)
            return;
        T *old = m_p;
        m_p = object;
        delete old;
    }
    // Gives up ownership without deleting.
    T *Detach()
    {
        T *p = m_p;
        m_p = nullptr;
        return p;
    }
    void Swap(LPtr &other)
    {
        T *p = m_p;
        m_p = other.m_p;
        other.m_p = p;
    }

    T *Get() const { return m_p; }
    T *operator->() const { return m_p; }
    T &operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    bool IsNull() const { return m_p == nullptr; }

  private:
    T *m_p = nullptr;
};

template <class T> class LRef
{
  public:
    LRef() = default;
    LRef(T *object) : m_p(object) {}
    LRef(const LPtr<T> &owner) : m_p(owner.Get()) {}

    void Set(T *object) { m_p = object; }
    T *Get() const { return m_p; }
    T *operator->() const { return m_p; }
    T &operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    bool IsNull() const { return m_p == nullptr; }

  private:
    T *m_p = nullptr;
};

// Base of shared objects. A new object has the count 1, which the first
// LCountedPtr adopts; the object deletes itself when the count drops to 0.
class LCountable
{
  public:
    LCountable() = default;
    virtual ~LCountable() = default;
    LCountable(const LCountable &) = delete;
    LCountable &operator=(const LCountable &) = delete;

    void AddRef() { m_count.fetch_add(1, std::memory_order_relaxed); }
    // Drops one reference; true when this was the last (the object is gone).
    bool ReleaseRef()
    {
        if (m_count.fetch_sub(1, std::memory_order_acq_rel) != 1)
            return false;
        delete this;
        return true;
    }
    int GetRefCount() const { return m_count.load(std::memory_order_relaxed); }

  private:
    std::atomic<int> m_count{1};
};

template <class T> class LCountedPtr
{
  public:
    LCountedPtr() = default;
    // Adopts the reference a new object starts with (no AddRef).
    explicit LCountedPtr(T *adopt) : m_p(adopt) {}
    LCountedPtr(const LCountedPtr &other) : m_p(other.m_p)
    {
        if (m_p)
            m_p->AddRef();
    }
    LCountedPtr(LCountedPtr &&other) : m_p(other.m_p) { other.m_p = nullptr; }
    ~LCountedPtr() { Reset(); }
    LCountedPtr &operator=(const LCountedPtr &other)
    {
        T *p = other.m_p; // read first: Reset empties other on self-assignment
        if (p)
            p->AddRef();
        Reset();
        m_p = p;
        return *this;
    }
    LCountedPtr &operator=(LCountedPtr &&other)
    {
        if (&other != this) {
            Reset();
            m_p = other.m_p;
            other.m_p = nullptr;
        }
        return *this;
    }

    // Shares an object someone else already holds (adds a reference).
    void Share(T *object)
    {
        if (object)
            object->AddRef();
        Reset();
        m_p = object;
    }
    void Reset()
    {
        T *p = m_p;
        m_p = nullptr;
        if (p)
            p->ReleaseRef();
    }

    T *Get() const { return m_p; }
    T *operator->() const { return m_p; }
    T &operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    bool IsNull() const { return m_p == nullptr; }

  private:
    T *m_p = nullptr;
};
