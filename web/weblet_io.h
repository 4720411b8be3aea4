// Blocking socket input and output of a connection thread. Every wait is cut
// into slices of at most 200 ms so that a stop request is seen quickly.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

enum class LWebletRead {
    Ok,
    Closed,
    TimedOut,
    Stopped,
    TooLong, // the byte budget of the request head ran out
};

// Sends all bytes within timeout_ms; false when the peer is gone, the time
// ran out or a stop was requested.
bool WebletSendAll(int fd, const char *data, size_t len, int timeout_ms,
                   const std::atomic<bool> *stop);

class LWebletReader
{
  public:
    static constexpr size_t kLineKeep = 259;

    LWebletReader(int fd, const std::atomic<bool> *stop) : fd(fd), stop(stop) {}

    // Reads one line up to LF; CR bytes are dropped and only the first 259
    // bytes are kept. Every byte read is taken from budget; when it would go
    // below zero the read ends with TooLong.
    LWebletRead ReadLine(std::string &line, int timeout_ms, size_t &budget);
    // Waits until at least one byte is there to read.
    LWebletRead WaitData(int timeout_ms);
    // Reads exactly n bytes.
    LWebletRead ReadBytes(std::string &out, size_t n, int timeout_ms);

  private:
    LWebletRead Fill(long long deadline_ms);

    int fd;
    const std::atomic<bool> *stop;
    char buffer[4096];
    size_t head = 0;
    size_t tail = 0;
};

long long WebletNowMs();
