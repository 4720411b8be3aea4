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
#include <vector>

#include "platform/stop_gate.h"
#include "web/logon_throttle.h"

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
    // many a connection that has sent nothing is dropped (the longest
    // waiting), else one part-way through a request, else the new one.
    static constexpr int kMaxConnections = 64;
    // One client address may hold at most this many; beyond it the new
    // connection replaces that address's own longest-waiting one, if any.
    static constexpr int kMaxPerAddress = 16;
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
    enum class State { Waiting, Partial, Busy };
    struct Connection {
        int fd;
        uint32_t peer;
        State state;
        long long since;
    };

    void ListenerThread();
    bool ServeListeningSocket(int listen_fd);
    void NewConnection(int fd, uint32_t peer);
    bool MakeRoom(uint32_t peer);
    Connection *PickVictim(uint32_t peer, bool same_peer_only);
    void BindConflict();
    void ConnectionThread(int id, int fd, uint32_t peer, LStopGate::Pass pass);
    void ServeConnection(int id, int fd, uint32_t peer);
    void SetState(int id, State state);
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
    std::vector<std::string> own_names; // host names besides IP literals
    LWebLogonThrottle throttle;

    std::thread listener;
    // Refuses connections once Stop began and waits for those being served.
    LStopGate gate;
    std::atomic<bool> listening{false};
    int stop_pipe[2] = {-1, -1};

    std::mutex lock;
    std::condition_variable changed;
    std::map<int, Connection> connections;
    int next_id = 1;
};
