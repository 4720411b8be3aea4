// One desktop window on the control channel. Its thread reads requests and
// writes everything queued for the window; requests are carried out on the
// service's main thread (HandlePending) while the thread waits. Nothing is
// ever written from another thread, so a window that stops reading can only
// fill its own bounded queue, and is closed when that overflows, instead of
// blocking whoever logs or notifies.
#pragma once

#include "platform/lock.h"
#include "platform/signal.h"
#include "platform/thread.h"
#include "service/background_engine.h"
#include "service/control_protocol.h"

#include <atomic>
#include <string>
#include <vector>

// What the connections need from the service: a wake-up of its main thread.
class LControlWaker
{
  public:
    // A request waits for HandlePending on the main thread.
    virtual void ControlRequestPending() = 0;
    // A window connected (the main thread logs it and the SIP status).
    virtual void ControlWindowConnected() = 0;

  protected:
    ~LControlWaker() = default;
};

class LControlConnection : public LThread
{
  public:
    // Bytes a window may leave unread before it is closed.
    static constexpr size_t kDefaultQueueLimit = 256 * 1024;

    // Takes the (connected) socket.
    LControlConnection(int fd, LControlWaker &waker, size_t queueLimit = kDefaultQueueLimit);
    ~LControlConnection() override;

    // Any thread, never blocks. False when the connection is closing or the
    // bytes would overflow the queue (which then closes it).
    bool Queue(const std::string &bytes);
    // Main thread: carries out the waiting request, if any.
    void HandlePending(LBackgroundEngine &engine);
    bool IsFinished() const { return m_finished.load(); }

  protected:
    void ThreadFunction() override;

  private:
    enum class Step { Continue, Close };
    Step ReadSome();
    Step OnHeader();
    Step Flush();
    void MarkPending();
    void Reply(uint32_t result, uint32_t request, const void *data, size_t size);

    int m_fd;
    LControlWaker &m_waker;
    size_t m_queueLimit;
    LSignalObject m_wake; // bytes queued, a request handled, or overflow
    LLockObject m_queueLock;
    std::string m_queue;
    bool m_overflow = false;
    std::atomic<bool> m_pending{false};
    std::atomic<bool> m_finished{false};
    const char *m_closeReason = nullptr;

    // The request being read, then handled (untouched by the thread while
    // pending).
    LControl::Header m_header;
    size_t m_headerRead = 0;
    bool m_inPayload = false;
    std::vector<char> m_payload;
    size_t m_payloadRead = 0;
    uint32_t m_payloadStart = 0;
    uint32_t m_pendingSince = 0;
};
