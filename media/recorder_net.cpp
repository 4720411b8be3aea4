#include "media/recorder_net.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/tick.h"

static int RemainingMs(uint64_t deadline)
{
    uint64_t now = LMonotonicMs();
    return now >= deadline ? 0 : (int)(deadline - now);
}

// Waits for events on fd, and for the stop signal when thread is given.
static LProcessResult WaitFor(int fd, short events, uint64_t deadline, LThread *thread)
{
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {-1, POLLIN, 0}};
        if (thread != nullptr)
            fds[1].fd = thread->GetStopSignal().GetHandle();
        int left = RemainingMs(deadline);
        int ready = poll(fds, thread != nullptr ? 2 : 1, left);
        if (ready < 0 && errno == EINTR)
            continue;
        if (thread != nullptr && thread->IsToStop())
            return LProcessStopped;
        if (ready > 0 && fds[0].revents != 0)
            return LProcessSuccess;
        if (ready <= 0 && RemainingMs(deadline) == 0)
            return LProcessFailed;
        if (ready < 0)
            return LProcessFailed;
    }
}

static LProcessResult ConnectOne(LThread &thread, const sockaddr *address, socklen_t size,
                                 uint64_t deadline, int &fd)
{
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return LProcessFailed;
    if (connect(fd, address, size) == 0)
        return LProcessSuccess;
    LProcessResult result = LProcessFailed;
    if (errno == EINPROGRESS) {
        result = WaitFor(fd, POLLOUT, deadline, &thread);
        int error = 0;
        socklen_t length = sizeof error;
        if (result == LProcessSuccess &&
            (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0))
            result = LProcessFailed;
    }
    if (result != LProcessSuccess) {
        close(fd);
        fd = -1;
    }
    return result;
}

int LRecorderConnect(LThread &thread, const std::string &entry, int defaultPort, uint32_t ms,
                     LProcessResult &result)
{
    uint64_t deadline = LMonotonicMs() + ms;
    std::string host = entry, port = std::to_string(defaultPort);
    size_t colon = entry.rfind(':');
    if (colon != std::string::npos) {
        host = entry.substr(0, colon);
        port = entry.substr(colon + 1);
    }
    addrinfo hints{}, *list = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    result = LProcessFailed;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &list) != 0)
        return -1;
    int fd = -1;
    for (addrinfo *i = list; i != nullptr && result == LProcessFailed; i = i->ai_next) {
        if (RemainingMs(deadline) == 0)
            break;
        result = ConnectOne(thread, i->ai_addr, i->ai_addrlen, deadline, fd);
    }
    freeaddrinfo(list);
    return result == LProcessSuccess ? fd : -1;
}

bool LRecorderSendAll(int fd, const void *data, int length, uint32_t ms, LThread *stopOn)
{
    uint64_t deadline = LMonotonicMs() + ms;
    const char *bytes = (const char *)data;
    while (length > 0) {
        ssize_t sent = send(fd, bytes, (size_t)length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            bytes += sent;
            length -= (int)sent;
        } else if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        } else if (WaitFor(fd, POLLOUT, deadline, stopOn) != LProcessSuccess) {
            return false;
        }
    }
    return true;
}

bool LRecorderReceiveAll(int fd, void *data, int length, uint32_t ms, LThread *stopOn)
{
    uint64_t deadline = LMonotonicMs() + ms;
    char *bytes = (char *)data;
    while (length > 0) {
        ssize_t got = recv(fd, bytes, (size_t)length, MSG_DONTWAIT);
        if (got > 0) {
            bytes += got;
            length -= (int)got;
        } else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            return false;
        } else if (WaitFor(fd, POLLIN, deadline, stopOn) != LProcessSuccess) {
            return false;
        }
    }
    return true;
}
