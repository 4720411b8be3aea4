// Byte ring buffers. LBucketThreadUnsafe holds at most its capacity C: it
// allocates C + 1 bytes and keeps one free to tell full from empty. LBucket
// adds a lock and two signal objects so readers and writers can wait.
#pragma once

#include "platform/lock.h"
#include "platform/signal.h"

#include <cstddef>

class LBucketThreadUnsafe
{
  public:
    explicit LBucketThreadUnsafe(int capacity);
    ~LBucketThreadUnsafe();
    LBucketThreadUnsafe(const LBucketThreadUnsafe &) = delete;
    LBucketThreadUnsafe &operator=(const LBucketThreadUnsafe &) = delete;

    bool IsValid() const { return m_data != nullptr; } // allocation succeeded
    int GetCapacity() const { return m_size - 1; }
    int GetUsed() const;
    int GetFree() const { return GetCapacity() - GetUsed(); }
    bool IsEmpty() const { return m_read == m_write; }
    bool IsFull() const { return GetFree() == 0; }

    // Writes at most the free space; returns the bytes accepted.
    int Write(const void *data, int length);
    // Reads up to length bytes; returns the bytes read.
    int Read(void *data, int length);
    // Copies up to length bytes without consuming them.
    int Peek(void *data, int length) const;
    // Drops up to length bytes; returns the bytes dropped.
    int Skip(int length);
    void Clear() { m_read = m_write = 0; }

  private:
    unsigned char *m_data = nullptr;
    int m_size = 1; // capacity + 1
    int m_read = 0;
    int m_write = 0;
};

class LBucket
{
  public:
    explicit LBucket(int capacity) : m_bucket(capacity) {}

    bool IsValid() const { return m_bucket.IsValid(); }
    int GetCapacity() const { return m_bucket.GetCapacity(); }
    int GetUsed();
    int GetFree();
    // As the unlocked bucket; a write signals the written-to object, a read
    // the read-from object.
    int Write(const void *data, int length);
    int Read(void *data, int length);
    void Clear();

    // Signalled after every write (wait on it to read) and every read (wait
    // on it to write). Waiters reset it before checking the bucket again.
    LSignalObject &GetWrittenSignal() { return m_written; }
    LSignalObject &GetReadSignal() { return m_readFrom; }

  private:
    LLockObject m_lock;
    LBucketThreadUnsafe m_bucket;
    LSignalObject m_written;
    LSignalObject m_readFrom;
};
