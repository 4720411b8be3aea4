// The window's end of the control channel without the engine type: the
// socket, numbered requests and their replies, and decoding what the service
// pushes. LServiceEngineProxy adds reconnecting and the in-process fallback.
#pragma once

#include "platform/lock.h"
#include "platform/log.h"
#include "platform/signal.h"
#include "service/control_protocol.h"

#include <atomic>
#include <string>

// Where a window shows what the service pushes.
class LControlWindowSink
{
  public:
    virtual void ShowLogLine(int level, const std::string &timeText, const std::string &text) = 0;
    virtual void EngineNotify(int code, const std::string &data) = 0;
    // A failure the user must see (a window shows a message box).
    virtual void ShowError(const std::string &text) { LOGERROR(text.c_str()); }

  protected:
    ~LControlWindowSink() = default;
};

class LControlWindowLink
{
  public:
    explicit LControlWindowLink(LControlWindowSink &sink) : m_sink(sink) {}
    ~LControlWindowLink() { Disconnect(); }
    LControlWindowLink(const LControlWindowLink &) = delete;
    LControlWindowLink &operator=(const LControlWindowLink &) = delete;

    bool Connect(const char *path);
    void Disconnect();
    bool IsConnected() const { return m_fd.load() >= 0; }

    bool Send(uint16_t type, int code, const void *data, int size);
    // 0 when no reply came within 10000 ms or the send failed.
    int SendWithResult(int code, const void *data, int size);
    // Reads and dispatches one message; false when the connection failed
    // (then disconnected). stopFd ends the wait for the header.
    bool ReceiveOne(int stopFd);

  private:
    bool ReadExactly(void *into, size_t length, int stopFd, int ms);

    LControlWindowSink &m_sink;
    std::atomic<int> m_fd{-1};
    LLockObject m_sendLock;
    std::atomic<uint32_t> m_counter{0};
    std::atomic<uint32_t> m_awaited{0};
    std::atomic<int> m_result{0};
    LSignalObject m_reply;
};
