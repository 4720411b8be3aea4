#include "service/control_window_link.h"

#include "platform/tick.h"

#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace
{
constexpr int kSendLimitMs = 5000;
constexpr uint32_t kReplyLimitMs = 10000;
constexpr int kPayloadLimitMs = 10000;
} // namespace

bool LControlWindowLink::Connect(const char *path)
{
    Disconnect();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    timeval limit{kSendLimitMs / 1000, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return false;
    }
    m_fd.store(fd);
    return true;
}

void LControlWindowLink::Disconnect()
{
    LLockScope scope(m_sendLock);
    int fd = m_fd.exchange(-1);
    if (fd >= 0)
        close(fd);
}

bool LControlWindowLink::Send(uint16_t type, int code, const void *data, int size)
{
    LControl::Header header;
    header.type = type;
    if (size > 0 && !data)
        header.type |= LControl::kNoPayloadFlag;
    header.code = static_cast<uint32_t>(code);
    header.size = size > 0 ? static_cast<uint32_t>(size) : 0;
    header.extra = ++m_counter;
    if (type == LControl::TypeControlWithResult)
        m_awaited.store(header.extra);
    std::string bytes = LControl::Encode(header, data, data && size > 0 ? size : 0);
    LLockScope scope(m_sendLock);
    int fd = m_fd.load();
    return fd >= 0 &&
           send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

int LControlWindowLink::SendWithResult(int code, const void *data, int size)
{
    m_result.store(0);
    m_reply.Reset();
    if (!Send(LControl::TypeControlWithResult, code, data, size))
        return 0;
    return m_reply.WaitSignal(kReplyLimitMs) ? m_result.load() : 0;
}

bool LControlWindowLink::ReadExactly(void *into, size_t length, int stopFd, int ms)
{
    char *at = static_cast<char *>(into);
    int fd = m_fd.load();
    while (length > 0 && fd >= 0) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        int ready = poll(fds, stopFd >= 0 ? 2 : 1, ms);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || (fds[1].revents & POLLIN))
            return false;
        ssize_t n = recv(fd, at, length, 0);
        if (n <= 0)
            return false;
        at += n;
        length -= static_cast<size_t>(n);
    }
    return length == 0;
}

bool LControlWindowLink::ReceiveOne(int stopFd)
{
    LControl::Header header;
    if (!ReadExactly(&header, sizeof header, stopFd, -1) || header.magic != LControl::kMagic ||
        header.size > LControl::kMaxPayload) {
        Disconnect();
        return false;
    }
    std::vector<char> payload(header.size);
    if (!ReadExactly(payload.data(), payload.size(), stopFd, kPayloadLimitMs)) {
        Disconnect();
        return false;
    }
    if (header.type == LControl::TypeLogLine) {
        LControl::LogLine line = LControl::DecodeLogLine(payload.data(), header.size, header.extra);
        m_sink.ShowLogLine(static_cast<int>(header.code), line.text1, line.text2);
    } else if (header.type == LControl::TypeNotify) {
        m_sink.EngineNotify(static_cast<int>(header.code),
                            std::string(payload.begin(), payload.end()));
    } else if (header.type == LControl::TypeReply && header.extra == m_awaited.load()) {
        m_result.store(static_cast<int>(header.code));
        m_reply.Signal();
    }
    return true;
}
