#include "service/control_connection.h"

#include "platform/log.h"
#include "platform/tick.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
constexpr uint32_t kPayloadLimitMs = 10000;
constexpr uint32_t kHandledLimitMs = 600000;
constexpr int kPollMs = 200;
} // namespace

LControlConnection::LControlConnection(int fd, LControlWaker &waker, size_t queueLimit)
    : m_fd(fd), m_waker(waker), m_queueLimit(queueLimit)
{
}

LControlConnection::~LControlConnection()
{
    StopThreadNow();
    if (m_fd >= 0)
        close(m_fd);
}

bool LControlConnection::Queue(const std::string &bytes)
{
    if (m_finished.load())
        return false;
    bool queued;
    {
        LLockScope scope(m_queueLock);
        if (m_overflow)
            return false;
        queued = m_queue.size() + bytes.size() <= m_queueLimit;
        if (queued) {
            m_queue += bytes;
        } else {
            m_overflow = true;
            m_queue.clear();
        }
    }
    m_wake.Signal();
    return queued;
}

void LControlConnection::Reply(uint32_t result, uint32_t request, const void *data, size_t size)
{
    LControl::Header header;
    header.type = LControl::TypeReply;
    header.code = result;
    header.size = static_cast<uint32_t>(size);
    header.extra = request;
    Queue(LControl::Encode(header, data, size));
}

void LControlConnection::HandlePending(LBackgroundEngine &engine)
{
    if (!m_pending.load())
        return;
    const void *data = m_payload.empty() ? nullptr : m_payload.data();
    int size = static_cast<int>(m_header.size);
    switch (m_header.type & ~LControl::kNoPayloadFlag) {
    case LControl::TypeControl:
        engine.Control(static_cast<int>(m_header.code), data, size);
        break;
    case LControl::TypeControlWithResult: {
        int result = engine.ControlWithResult(static_cast<int>(m_header.code), data, size);
        Reply(static_cast<uint32_t>(result), m_header.extra, nullptr, 0);
        break;
    }
    case LControl::TypeControlWithData:
        // No control code returns data yet: answered with result 0, no data.
        Reply(0, m_header.extra, nullptr, 0);
        break;
    default:
        break;
    }
    m_payload.clear();
    m_payload.shrink_to_fit();
    m_pending.store(false);
    m_wake.Signal();
}

void LControlConnection::MarkPending()
{
    m_headerRead = 0;
    m_inPayload = false;
    m_pendingSince = GetTickCount();
    m_pending.store(true);
    m_waker.ControlRequestPending();
}

LControlConnection::Step LControlConnection::OnHeader()
{
    if (m_header.magic != LControl::kMagic) {
        m_closeReason = "bad header";
        return Step::Close;
    }
    if ((m_header.type & LControl::kNoPayloadFlag) || m_header.size == 0) {
        m_payload.clear();
        MarkPending();
        return Step::Continue;
    }
    // Checked before anything is allocated: the size field is the sender's.
    if (m_header.size > LControl::kMaxPayload) {
        m_closeReason = "request too large";
        return Step::Close;
    }
    m_payload.resize(m_header.size);
    m_payloadRead = 0;
    m_inPayload = true;
    m_payloadStart = GetTickCount();
    return Step::Continue;
}

LControlConnection::Step LControlConnection::ReadSome()
{
    char *into;
    size_t room;
    if (m_inPayload) {
        into = m_payload.data() + m_payloadRead;
        room = m_payload.size() - m_payloadRead;
    } else {
        into = reinterpret_cast<char *>(&m_header) + m_headerRead;
        room = sizeof m_header - m_headerRead;
    }
    ssize_t n = recv(m_fd, into, room, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return Step::Continue;
    if (n <= 0)
        return Step::Close;
    if (m_inPayload) {
        m_payloadRead += static_cast<size_t>(n);
        if (m_payloadRead == m_payload.size())
            MarkPending();
        return Step::Continue;
    }
    m_headerRead += static_cast<size_t>(n);
    return m_headerRead == sizeof m_header ? OnHeader() : Step::Continue;
}

// Writes what the socket takes now; the rest waits for the next pass.
LControlConnection::Step LControlConnection::Flush()
{
    LLockScope scope(m_queueLock);
    while (!m_queue.empty()) {
        ssize_t n = send(m_fd, m_queue.data(), m_queue.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Step::Continue;
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Step::Close;
        m_queue.erase(0, static_cast<size_t>(n));
    }
    return Step::Continue;
}

void LControlConnection::ThreadFunction()
{
    m_waker.ControlWindowConnected();
    while (!IsToStop()) {
        bool wantWrite;
        {
            LLockScope scope(m_queueLock);
            if (m_overflow) {
                m_closeReason = "it does not read its messages";
                break;
            }
            wantWrite = !m_queue.empty();
        }
        bool pending = m_pending.load();
        if (pending && LTickSince(m_pendingSince) > kHandledLimitMs)
            break;
        if (!pending && m_inPayload && LTickSince(m_payloadStart) > kPayloadLimitMs) {
            m_closeReason = "request incomplete";
            break;
        }
        short events = static_cast<short>((pending ? 0 : POLLIN) | (wantWrite ? POLLOUT : 0));
        pollfd fds[3] = {{m_fd, events, 0},
                         {GetStopSignal().GetHandle(), POLLIN, 0},
                         {m_wake.GetHandle(), POLLIN, 0}};
        if (poll(fds, 3, kPollMs) < 0 && errno != EINTR)
            break;
        if (fds[2].revents)
            m_wake.Reset(); // the state is looked at again at the loop's top
        if ((fds[0].revents & POLLOUT) && Flush() == Step::Close)
            break;
        if ((fds[0].revents & POLLIN) && ReadSome() == Step::Close)
            break;
        if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) && !(fds[0].revents & POLLIN))
            break;
    }
    // The descriptor stays open until the object goes (the main thread may
    // still be handling a request); the window sees the end now.
    shutdown(m_fd, SHUT_RDWR);
    m_finished.store(true);
    if (m_closeReason)
        LOGWARNTEXT("Control window disconnected: ", m_closeReason);
    else
        LOG("Control window disconnected");
}
