#include "platform/signal.h"

#include "platform/log.h"
#include "platform/signal_pool.h"
#include "platform/tick.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

int LWaitReadable(const int *fds, int count, uint32_t ms)
{
    pollfd polls[LSignalObjectGroup::MaxObjects + 1];
    if (count > LSignalObjectGroup::MaxObjects + 1)
        count = LSignalObjectGroup::MaxObjects + 1;
    for (int i = 0; i < count; i++)
        polls[i] = pollfd{fds[i], POLLIN, 0};
    uint64_t deadline = LMonotonicMs() + ms;
    for (;;) {
        int timeout = -1;
        if (ms != LWaitForever) {
            uint64_t now = LMonotonicMs();
            timeout = now >= deadline ? 0 : (int)(deadline - now);
        }
        int ready = poll(polls, (nfds_t)count, timeout);
        if (ready > 0) {
            for (int i = 0; i < count; i++)
                if (polls[i].revents & (POLLIN | POLLHUP | POLLERR))
                    return i;
            // Only POLLNVAL (a closed descriptor): treat as not signalled.
            return -1;
        }
        if (ready == 0)
            return -1;
        if (errno != EINTR) {
            LOGERRORTEXT("Wait failed: ", strerror(errno));
            return -1;
        }
    }
}

LSignalObjectRef::LSignalObjectRef(const LSignalObject &signal) : m_fd(signal.GetHandle()) {}

bool LSignalObjectRef::IsSignaled() const
{
    return WaitSignal(0);
}

bool LSignalObjectRef::WaitSignal(uint32_t ms) const
{
    return LWaitReadable(&m_fd, 1, ms) == 0;
}

int LSignalObjectRef::WaitSignalDual(const LSignalObjectRef &other, uint32_t ms) const
{
    int fds[2] = {m_fd, other.m_fd};
    return LWaitReadable(fds, 2, ms);
}

int LSignalObjectRef::WaitSignalTriple(const LSignalObjectRef &other, const LSignalObjectRef &third,
                                       uint32_t ms) const
{
    int fds[3] = {m_fd, other.m_fd, third.m_fd};
    return LWaitReadable(fds, 3, ms);
}

LSignalObject::LSignalObject() : LSignalObject(nullptr) {}

// An eventfd: one descriptor that polls readable while its counter is
// not zero, and one read empties it (a pipe needs two descriptors and a
// drain loop that ends in EAGAIN).
LSignalObject::LSignalObject(std::shared_ptr<LSignalPool> pool) : m_pool(std::move(pool))
{
    if (m_pool) {
        m_fd = m_pool->Take();
        return;
    }
    m_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_fd < 0)
        LOGERRORTEXT("Cannot create a signal object: ", strerror(errno));
}

LSignalObject::~LSignalObject()
{
    Release();
}

// Nobody signals an object that is released: a set mark here means the
// counter may be above zero, and the next user must not inherit it.
void LSignalObject::Release()
{
    if (m_fd < 0)
        return;
    if (!m_pool)
        close(m_fd);
    else {
        if (m_maybeSet.load())
            Reset();
        m_pool->Give(m_fd);
    }
    m_fd = -1;
}

void LSignalObject::Signal()
{
    if (m_fd < 0)
        return;
    uint64_t one = 1;
    // A counter at its limit (EAGAIN) is signalled already; nothing else can
    // go wrong that a caller could act on.
    while (write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
    m_maybeSet.store(true);
}

bool LSignalObject::Reset()
{
    if (m_fd < 0)
        return false;
    m_maybeSet.store(false);
    uint64_t count;
    ssize_t got;
    while ((got = read(m_fd, &count, sizeof count)) < 0 && errno == EINTR) {
    }
    return got == (ssize_t)sizeof count;
}

bool LSignalObjectGroup::Add(const LSignalObjectRef &object)
{
    if (m_count >= MaxObjects || !object.IsValid())
        return false;
    m_objects[m_count++] = object;
    return true;
}

bool LSignalObjectGroup::Remove(const LSignalObjectRef &object)
{
    for (int i = 0; i < m_count; i++) {
        if (m_objects[i].GetHandle() == object.GetHandle()) {
            for (int j = i + 1; j < m_count; j++)
                m_objects[j - 1] = m_objects[j];
            m_count--;
            return true;
        }
    }
    return false;
}

int LSignalObjectGroup::Wait(uint32_t ms) const
{
    int fds[MaxObjects];
    for (int i = 0; i < m_count; i++)
        fds[i] = m_objects[i].GetHandle();
    return LWaitReadable(fds, m_count, ms);
}

int LSignalObjectGroup::WaitWith(const LSignalObjectRef &first, uint32_t ms) const
{
    int fds[MaxObjects + 1];
    fds[0] = first.GetHandle();
    for (int i = 0; i < m_count; i++)
        fds[i + 1] = m_objects[i].GetHandle();
    return LWaitReadable(fds, m_count + 1, ms);
}
