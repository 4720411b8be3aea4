// The service side of the control channel: a Unix-domain stream socket in
// the shared data folder that desktop windows connect to. The listener
// thread checks who connects (SO_PEERCRED) and starts one connection per
// window; requests are carried out on the main thread through
// HandlePending; notifications and program log lines go to every window
// without ever waiting for one.
#pragma once

#include "logs/program_log.h"
#include "platform/thread.h"
#include "service/control_connection.h"

#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

class LControlChannel : public LThread, public LLogLineReceiver
{
  public:
    explicit LControlChannel(LControlWaker &waker,
                             size_t queueLimit = LControlConnection::kDefaultQueueLimit);
    ~LControlChannel() override;
    LControlChannel(const LControlChannel &) = delete;
    LControlChannel &operator=(const LControlChannel &) = delete;

    enum class OpenResult { Opened, Failed, Taken };
    // Removes a stale socket file, binds path (mode 0660, the service's
    // group), listens and starts the listener thread. A socket file that
    // still answers belongs to a service that runs: it is left alone
    // (Taken).
    OpenResult Open(const char *path);
    // Stops the listener and closes every connection.
    void Close();

    // Main thread: carries out each connection's waiting request in turn.
    void HandlePending(LBackgroundEngine &engine);
    // Engine notification (type 17) to every window.
    void Notify(int code, const void *data, int size);
    // A program log line (type 19: time text, then the message).
    void LogLine(int level, const char *timeText, const char *text) override;
    int GetConnectionCount();

    // Root, the service's own user, or a member of the service's group.
    static bool IsPeerAllowed(uid_t uid, gid_t gid);

  protected:
    void ThreadFunction() override;

  private:
    void Accept();
    void Broadcast(const std::string &bytes);
    // Drops connections whose thread has ended.
    void Reap();

    LControlWaker &m_waker;
    size_t m_queueLimit;
    int m_listenFd = -1;
    std::string m_path;
    std::mutex m_listLock;
    std::vector<std::shared_ptr<LControlConnection>> m_connections;
};
