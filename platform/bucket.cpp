#include "platform/bucket.h"

#include <cstdlib>
#include <cstring>

LBucketThreadUnsafe::LBucketThreadUnsafe(int capacity)
{
    if (capacity < 0)
        capacity = 0;
    m_data = (unsigned char *)malloc((size_t)capacity + 1);
    m_size = m_data ? capacity + 1 : 1;
}

LBucketThreadUnsafe::~LBucketThreadUnsafe()
{
    free(m_data);
}

int LBucketThreadUnsafe::GetUsed() const
{
    int used = m_write - m_read;
    return used < 0 ? used + m_size : used;
}

int LBucketThreadUnsafe::Write(const void *data, int length)
{
    if (!m_data || !data || length <= 0)
        return 0;
    int room = GetFree();
    if (length > room)
        length = room; // never overwrite unread bytes
    const unsigned char *in = (const unsigned char *)data;
    int first = m_size - m_write < length ? m_size - m_write : length;
    memcpy(m_data + m_write, in, (size_t)first);
    memcpy(m_data, in + first, (size_t)(length - first));
    m_write = (m_write + length) % m_size;
    return length;
}

int LBucketThreadUnsafe::Peek(void *data, int length) const
{
    if (!m_data || !data || length <= 0)
        return 0;
    int used = GetUsed();
    if (length > used)
        length = used;
    unsigned char *out = (unsigned char *)data;
    int first = m_size - m_read < length ? m_size - m_read : length;
    memcpy(out, m_data + m_read, (size_t)first);
    memcpy(out + first, m_data, (size_t)(length - first));
    return length;
}

int LBucketThreadUnsafe::Skip(int length)
{
    if (length <= 0)
        return 0;
    int used = GetUsed();
    if (length > used)
        length = used;
    m_read = (m_read + length) % m_size;
    return length;
}

int LBucketThreadUnsafe::Read(void *data, int length)
{
    return Skip(Peek(data, length));
}

int LBucket::GetUsed()
{
    LLockScope scope(m_lock);
    return m_bucket.GetUsed();
}

int LBucket::GetFree()
{
    LLockScope scope(m_lock);
    return m_bucket.GetFree();
}

int LBucket::Write(const void *data, int length)
{
    int written;
    {
        LLockScope scope(m_lock);
        written = m_bucket.Write(data, length);
    }
    m_written.Signal();
    return written;
}

int LBucket::Read(void *data, int length)
{
    int read;
    {
        LLockScope scope(m_lock);
        read = m_bucket.Read(data, length);
    }
    m_readFrom.Signal();
    return read;
}

void LBucket::Clear()
{
    {
        LLockScope scope(m_lock);
        m_bucket.Clear();
    }
    m_readFrom.Signal();
}
