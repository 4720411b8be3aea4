// The control panel's HTTP server: one listener thread and one detached
// thread per connection. Scripts are looked up in a fixed table by the
// request path; anything else is a static file of the root folder.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

class LWebletForm;
// What the pages read from the running engine; defined by the pages.
struct LWebPageContext;

using LWebletScriptFunction = void (*)(LWebletForm &form);

struct LWebletScriptItem {
    const char *name;
    LWebletScriptFunction handler;
};

class LWebletServer
{
  public:
    // A few hundred idle sockets must not starve real clients: beyond this
    // many the longest-idle connection is dropped, or the new one if none is.
    static constexpr int kMaxConnections = 64;
    static constexpr int kDefaultPort = 1081;

    LWebletServer() = default;
    ~LWebletServer() { Stop(); }
    LWebletServer(const LWebletServer &) = delete;
    LWebletServer &operator=(const LWebletServer &) = delete;

    // Starts the listener on the port of the settings ("WebServer"/"Port").
    bool StartServer(const LWebletScriptItem *table, int count, const char *root);
    // Same on the given port.
    bool StartServer(const LWebletScriptItem *table, int count, const char *root, int port,
                     const LWebPageContext *context = nullptr);
    // Stops the listener and every connection thread; returns when all ended.
    void Stop();

    bool IsListening() const { return listening.load(); }
    int GetConnectionCount();
    int GetPort() const { return port; }

    static int GetWebletServerPort();
    static void SetWebletServerPort(int port);

  private:
    struct Connection {
        int fd;
        bool idle;
        long long idle_since;
    };

    void ListenerThread();
    bool ServeListeningSocket(int listen_fd);
    void NewConnection(int fd, uint32_t peer);
    bool MakeRoom();
    void BindConflict();
    void ConnectionThread(int id, int fd, uint32_t peer);
    void ServeConnection(int id, int fd, uint32_t peer);
    void SetIdle(int id, bool idle);
    void EndConnection(int id);
    void ServeStatic(LWebletForm &form);
    bool WaitStop(int ms);

    const LWebletScriptItem *table = nullptr;
    const LWebPageContext *context = nullptr;
    int table_count = 0;
    std::string root;
    std::string session_folder;
    std::string help_folder;
    int port = kDefaultPort;

    std::thread listener;
    std::atomic<bool> stopping{false};
    std::atomic<bool> listening{false};
    int stop_pipe[2] = {-1, -1};

    std::mutex lock;
    std::condition_variable changed;
    std::map<int, Connection> connections;
    int next_id = 1;
};
