#include "web/weblet_io.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
constexpr int kSliceMs = 200;

bool IsStopped(const std::atomic<bool> *stop)
{
    return stop && stop->load();
}

// Waits for the events on fd until the deadline: 1 ready, 0 time-out,
// -1 stopped or failed.
int WaitFor(int fd, short events, long long deadline_ms, const std::atomic<bool> *stop)
{
    for (;;) {
        if (IsStopped(stop))
            return -1;
        long long left = deadline_ms - WebletNowMs();
        if (left <= 0)
            return 0;
        pollfd p = {fd, events, 0};
        int r = poll(&p, 1, (int)(left < kSliceMs ? left : kSliceMs));
        if (r > 0)
            return 1;
        if (r < 0 && errno != EINTR)
            return -1;
    }
}
} // namespace

long long WebletNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool WebletSendAll(int fd, const char *data, size_t len, int timeout_ms,
                   const std::atomic<bool> *stop)
{
    long long deadline = WebletNowMs() + timeout_ms;
    while (len > 0) {
        ssize_t n = send(fd, data, len, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            len -= (size_t)n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (WaitFor(fd, POLLOUT, deadline, stop) != 1)
            return false;
    }
    return true;
}

LWebletRead LWebletReader::Fill(long long deadline_ms)
{
    for (;;) {
        ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            head = 0;
            tail = (size_t)n;
            return LWebletRead::Ok;
        }
        if (n == 0)
            return LWebletRead::Closed;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return LWebletRead::Closed;
        int w = WaitFor(fd, POLLIN, deadline_ms, stop);
        if (w == 0)
            return LWebletRead::TimedOut;
        if (w < 0)
            return IsStopped(stop) ? LWebletRead::Stopped : LWebletRead::Closed;
    }
}

LWebletRead LWebletReader::WaitData(int timeout_ms)
{
    return head < tail ? LWebletRead::Ok : Fill(WebletNowMs() + timeout_ms);
}

LWebletRead LWebletReader::ReadLine(std::string &line, int timeout_ms, size_t &budget)
{
    long long deadline = WebletNowMs() + timeout_ms;
    line.clear();
    for (;;) {
        if (head == tail) {
            LWebletRead r = Fill(deadline);
            if (r != LWebletRead::Ok)
                return r;
        }
        if (budget == 0)
            return LWebletRead::TooLong;
        budget--;
        char c = buffer[head++];
        if (c == '\n')
            return LWebletRead::Ok;
        if (c != '\r' && line.size() < kLineKeep)
            line += c;
    }
}

LWebletRead LWebletReader::ReadBytes(std::string &out, size_t n, int timeout_ms)
{
    long long deadline = WebletNowMs() + timeout_ms;
    out.clear();
    out.reserve(n);
    while (out.size() < n) {
        if (head == tail) {
            LWebletRead r = Fill(deadline);
            if (r != LWebletRead::Ok)
                return r;
        }
        size_t take = tail - head;
        if (take > n - out.size())
            take = n - out.size();
        out.append(buffer + head, take);
        head += take;
    }
    return LWebletRead::Ok;
}
