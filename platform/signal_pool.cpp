#include "platform/signal_pool.h"

#include "platform/log.h"

#include <cerrno>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

LSignalPool::~LSignalPool()
{
    for (int fd : m_fds)
        close(fd);
}

int LSignalPool::Take()
{
    {
        std::lock_guard<std::mutex> scope(m_lock);
        if (!m_fds.empty()) {
            int fd = m_fds.back();
            m_fds.pop_back();
            return fd;
        }
    }
    int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0)
        LOGERRORTEXT("Cannot create a signal object: ", strerror(errno));
    return fd;
}

void LSignalPool::Give(int fd)
{
    if (fd < 0)
        return;
    {
        std::lock_guard<std::mutex> scope(m_lock);
        if ((int)m_fds.size() < m_keep) {
            m_fds.push_back(fd);
            return;
        }
    }
    close(fd);
}

int LSignalPool::GetKept()
{
    std::lock_guard<std::mutex> scope(m_lock);
    return (int)m_fds.size();
}
