// The blocking socket steps. Sockets are used with MSG_DONTWAIT and poll, so
// they work whether or not the descriptor is in non-blocking mode; every
// wait is cut into slices so the stop test runs at least every 200 ms.
#include "platform/log.h"
#include "platform/socket.h"
#include "platform/tick.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace
{
LProcessResult WaitFor(LStopTest stop, void *process, int fd, short events, uint32_t ms)
{
    uint64_t deadline = LMonotonicMs() + ms;
    for (;;) {
        if (stop(process))
            return LProcessStopped;
        uint64_t now = LMonotonicMs();
        uint64_t left = now >= deadline ? 0 : deadline - now;
        int slice = (int)(left < LProcessPollMs ? left : LProcessPollMs);
        pollfd p{fd, events, 0};
        int ready = poll(&p, 1, slice);
        if (ready > 0)
            return (p.revents & POLLNVAL) ? LProcessFailed : LProcessSuccess;
        if (ready < 0 && errno != EINTR)
            usleep((useconds_t)slice * 1000u); // a failing wait must not spin
        if (left == 0)
            return LProcessFailed;
    }
}

uint32_t Left(uint64_t deadline)
{
    uint64_t now = LMonotonicMs();
    return now >= deadline ? 0 : (uint32_t)(deadline - now);
}
} // namespace

namespace LSocketSteps
{
LProcessResult Connect(LStopTest stop, void *process, LTcpSocket &socket,
                       const LIPAddressWithPort &to, uint32_t ms)
{
    if (!socket.IsValid() && !socket.Open())
        return LProcessFailed;
    socket.SetNonBlocking(true);
    char text[32];
    to.ToString(text);
    if (connect(socket.GetHandle(), to.GetSockAddr(), to.GetSockAddrLength()) == 0)
        return LProcessSuccess;
    if (errno != EINPROGRESS) {
        LOGERRORF("Cannot connect to %s: %s", text, strerror(errno));
        return LProcessFailed;
    }
    LProcessResult result = WaitFor(stop, process, socket.GetHandle(), POLLOUT, ms);
    if (result == LProcessFailed)
        LOGERRORF("Connecting to %s timed out", text);
    if (result != LProcessSuccess)
        return result;
    int error = 0;
    socklen_t size = sizeof error;
    getsockopt(socket.GetHandle(), SOL_SOCKET, SO_ERROR, &error, &size);
    if (error == 0)
        return LProcessSuccess;
    LOGERRORF("Cannot connect to %s: %s", text, strerror(error));
    return LProcessFailed;
}

LProcessResult Send(LStopTest stop, void *process, LSocket &socket, const void *data, int length,
                    uint32_t ms)
{
    uint64_t deadline = LMonotonicMs() + ms;
    const char *bytes = (const char *)data;
    int done = 0;
    while (done < length) {
        if (stop(process))
            return LProcessStopped;
        ssize_t sent = send(socket.GetHandle(), bytes + done, (size_t)(length - done),
                            MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            done += (int)sent;
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EINTR) {
            LOGERRORTEXT("Send failed: ", strerror(errno));
            return LProcessFailed;
        }
        LProcessResult r = WaitFor(stop, process, socket.GetHandle(), POLLOUT, Left(deadline));
        if (r != LProcessSuccess)
            return r;
    }
    return LProcessSuccess;
}

LProcessResult RecvReady(LStopTest stop, void *process, LSocket &socket, uint32_t ms)
{
    return WaitFor(stop, process, socket.GetHandle(), POLLIN, ms);
}

LProcessResult RecvAll(LStopTest stop, void *process, LSocket &socket, void *buffer, int length,
                       uint32_t ms)
{
    char *bytes = (char *)buffer;
    int done = 0;
    while (done < length) {
        LProcessResult r = WaitFor(stop, process, socket.GetHandle(), POLLIN, ms);
        if (r != LProcessSuccess)
            return r;
        ssize_t got = recv(socket.GetHandle(), bytes + done, (size_t)(length - done), MSG_DONTWAIT);
        if (got == 0)
            return LProcessFailed; // the peer closed before all arrived
        if (got < 0 && errno != EAGAIN && errno != EINTR)
            return LProcessFailed;
        if (got > 0)
            done += (int)got;
    }
    return LProcessSuccess;
}

LProcessResult RecvToEnd(LStopTest stop, void *process, LSocket &socket, LStringLong &out,
                         int maxBytes, uint32_t ms)
{
    int received = 0;
    char chunk[4096];
    while (received < maxBytes) {
        LProcessResult r = WaitFor(stop, process, socket.GetHandle(), POLLIN, ms);
        if (r != LProcessSuccess)
            return r;
        int want = maxBytes - received < (int)sizeof chunk ? maxBytes - received : sizeof chunk;
        ssize_t got = recv(socket.GetHandle(), chunk, (size_t)want, MSG_DONTWAIT);
        if (got == 0)
            return LProcessSuccess;
        if (got < 0 && errno != EAGAIN && errno != EINTR)
            return LProcessFailed;
        if (got > 0) {
            out.Append(chunk, (int)got);
            received += (int)got;
        }
    }
    return LProcessSuccess;
}

LProcessResult WaitForPacket(LStopTest stop, void *process, LUdpSocket &socket, uint32_t ms)
{
    return WaitFor(stop, process, socket.GetHandle(), POLLIN, ms);
}

LProcessResult Disconnect(LStopTest stop, void *process, LTcpSocket &socket, uint32_t ms)
{
    if (!socket.IsValid())
        return LProcessSuccess;
    shutdown(socket.GetHandle(), SHUT_WR);
    uint64_t deadline = LMonotonicMs() + ms;
    LProcessResult result = LProcessSuccess;
    char drain[1024];
    for (;;) {
        result = WaitFor(stop, process, socket.GetHandle(), POLLIN, Left(deadline));
        if (result != LProcessSuccess)
            break;
        ssize_t got = recv(socket.GetHandle(), drain, sizeof drain, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
            break;
    }
    socket.Close();
    return result;
}

LProcessResult HTTPGet(LStopTest stop, void *process, const char *url, LStringLong &reply,
                       int maxBytes, uint32_t ms)
{
    char host[260], path[260];
    LIPAddressWithPort server;
    if (!LHTTPSplitURL(url, host, path) || !server.SetFromText(host, 80)) {
        LOGERRORTEXT("Cannot resolve the host of ", url ? url : "");
        return LProcessFailed;
    }
    LTcpSocket socket;
    LProcessResult r = Connect(stop, process, socket, server, ms);
    LStringLong request;
    request.sprintf("GET %s HTTP/1.0\r\nHost: %s\r\n\r\n", path, host);
    if (r == LProcessSuccess)
        r = Send(stop, process, socket, request.GetString(), request.GetLength(), ms);
    if (r == LProcessSuccess)
        r = RecvToEnd(stop, process, socket, reply, maxBytes, ms);
    if (r != LProcessStopped)
        Disconnect(stop, process, socket, 5000);
    if (r == LProcessSuccess && reply.IsEmpty())
        return LProcessFailed;
    return r;
}
} // namespace LSocketSteps

bool LHTTPSplitURL(const char *url, char (&host)[260], char (&path)[260])
{
    if (!url)
        return false;
    LStringParser p(url);
    if (!p.SkipStringNoCase("http://"))
        return false;
    bool hasPath = p.GetUpTo('/', host);
    LStrCopy(path, hasPath ? p.GetCurrent() : "/");
    return host[0] != 0;
}

int LHTTPReplyStatus(const char *reply, const char **body)
{
    if (!reply)
        return 0;
    if (body) {
        const char *end = strstr(reply, "\r\n\r\n");
        *body = end ? end + 4 : reply + strlen(reply);
    }
    LStringParser p(reply);
    if (!p.SkipStringNoCase("HTTP/"))
        return 0;
    char version[16];
    p.GetToWhiteSpace(version);
    p.SkipWhiteSpace();
    long status = 0;
    if (!p.GetInt(status) || status < 100 || status > 999)
        return 0;
    return (int)status;
}
