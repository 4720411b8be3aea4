#include "web/weblet_server.h"

#include "platform/log.h"
#include "web/web_settings.h"
#include "web/weblet_guard.h"
#include "web/weblet_io.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
constexpr int kRetryBindMs = 30000;
constexpr int kEvictWaitMs = 1000;

int OpenListeningSocket(int port, int &error)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)port);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, (sockaddr *)&addr, sizeof addr) != 0 || listen(fd, 50) != 0) {
        error = errno;
        close(fd);
        return -1;
    }
    return fd;
}
} // namespace

int LWebletServer::GetWebletServerPort()
{
    int value = WebSettingGetInt("WebServer", "Port", 0);
    return value > 0 && value < 65536 ? value : kDefaultPort;
}

void LWebletServer::SetWebletServerPort(int value)
{
    WebSettingSetInt("WebServer", "Port", value);
}

bool LWebletServer::StartServer(const LWebletScriptItem *items, int count, const char *folder)
{
    return StartServer(items, count, folder, GetWebletServerPort());
}

bool LWebletServer::StartServer(const LWebletScriptItem *items, int count, const char *folder,
                                int on_port, const LWebPageContext *page_context)
{
    Stop();
    table = items;
    context = page_context;
    table_count = count;
    root = folder;
    port = on_port > 0 ? on_port : kDefaultPort;
    session_folder = WebSharedDataFolder() + "/SessionData";
    help_folder = WebResourcesFolder() + "/help";
    own_names = WebletOwnHostNames();
    if (pipe2(stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        LOGERROR("Webserver cannot create its stop signal.");
        return false;
    }
    gate.Reopen();
    listener = std::thread(&LWebletServer::ListenerThread, this);
    return true;
}

void LWebletServer::Stop()
{
    if (!listener.joinable())
        return;
    gate.RequestStop();
    char byte = 1;
    if (write(stop_pipe[1], &byte, 1) < 0)
        LOGERROR("Webserver cannot signal its listener.");
    listener.join();
    std::unique_lock<std::mutex> hold(lock);
    for (auto &entry : connections)
        shutdown(entry.second.fd, SHUT_RDWR);
    hold.unlock();
    gate.WaitIdle();
    close(stop_pipe[0]);
    close(stop_pipe[1]);
    stop_pipe[0] = stop_pipe[1] = -1;
}

int LWebletServer::GetConnectionCount()
{
    std::lock_guard<std::mutex> hold(lock);
    return (int)connections.size();
}

bool LWebletServer::WaitStop(int ms)
{
    pollfd p = {stop_pipe[0], POLLIN, 0};
    return poll(&p, 1, ms) > 0 || gate.IsStopRequested();
}

void LWebletServer::BindConflict()
{
    LOGERROR("Webserver cannot bind to TCP/IP port.");
    LOGERRORF("Some other program may be using port %d.", port);
}

void LWebletServer::ListenerThread()
{
    while (!gate.IsStopRequested()) {
        int error = 0;
        int fd = OpenListeningSocket(port, error);
        if (fd >= 0) {
            listening = true;
            ServeListeningSocket(fd);
            listening = false;
            close(fd);
        } else if (error == EADDRINUSE) {
            BindConflict();
        } else {
            LOGERRORNUM("Webserver cannot listen, error ", error);
        }
        if (WaitStop(kRetryBindMs))
            break;
    }
}

// Accepts until stopped; false when accept failed for good.
bool LWebletServer::ServeListeningSocket(int listen_fd)
{
    for (;;) {
        pollfd p[2] = {{listen_fd, POLLIN, 0}, {stop_pipe[0], POLLIN, 0}};
        if (poll(p, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (gate.IsStopRequested() || p[1].revents)
            return true;
        if (!p[0].revents)
            continue;
        sockaddr_in peer = {};
        socklen_t len = sizeof peer;
        int fd = accept4(listen_fd, (sockaddr *)&peer, &len, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == ECONNABORTED || errno == EAGAIN || errno == EINTR)
                continue;
            if (errno == EMFILE || errno == ENFILE) {
                WaitStop(100); // Out of descriptors: let connections end.
                continue;
            }
            return false;
        }
        NewConnection(fd, ntohl(peer.sin_addr.s_addr));
        std::this_thread::yield();
    }
}

// The connection to drop for a new one: one that has sent nothing (the
// longest waiting) before one part-way through a request (the oldest);
// never one whose script runs. Null when there is none.
LWebletServer::Connection *LWebletServer::PickVictim(uint32_t peer, bool same_peer_only)
{
    Connection *best = nullptr;
    for (auto &entry : connections) {
        Connection &c = entry.second;
        if (c.state == State::Busy || (same_peer_only && c.peer != peer))
            continue;
        if (!best || (c.state == State::Waiting && best->state == State::Partial) ||
            (c.state == best->state && c.since < best->since))
            best = &c;
    }
    return best;
}

// Makes room for a connection from peer within both limits; false when the
// new connection must be refused.
bool LWebletServer::MakeRoom(uint32_t peer)
{
    std::unique_lock<std::mutex> hold(lock);
    int from_peer = 0;
    for (auto &entry : connections)
        from_peer += entry.second.peer == peer;
    bool peer_full = from_peer >= kMaxPerAddress;
    if (!peer_full && (int)connections.size() < kMaxConnections)
        return true;
    Connection *victim = PickVictim(peer, peer_full);
    if (!victim)
        return false;
    shutdown(victim->fd, SHUT_RDWR);
    victim->state = State::Busy; // it is leaving; do not pick it twice
    int before = (int)connections.size();
    return changed.wait_for(hold, std::chrono::milliseconds(kEvictWaitMs),
                            [this, before] { return (int)connections.size() < before; });
}

void LWebletServer::NewConnection(int fd, uint32_t peer)
{
    LStopGate::Pass pass = gate.Enter();
    if (!pass || !MakeRoom(peer)) {
        close(fd);
        return;
    }
    int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    std::lock_guard<std::mutex> hold(lock);
    int id = next_id++;
    connections[id] = Connection{fd, peer, State::Waiting, WebletNowMs()};
    std::thread(&LWebletServer::ConnectionThread, this, id, fd, peer, std::move(pass)).detach();
}

void LWebletServer::SetState(int id, State state)
{
    std::lock_guard<std::mutex> hold(lock);
    auto it = connections.find(id);
    if (it == connections.end() || it->second.state == state)
        return;
    it->second.state = state;
    it->second.since = WebletNowMs();
}

void LWebletServer::EndConnection(int id)
{
    std::lock_guard<std::mutex> hold(lock);
    connections.erase(id);
    changed.notify_all();
}

// The pass goes last, when the function returns: Stop may then finish and
// the server go.
void LWebletServer::ConnectionThread(int id, int fd, uint32_t peer, LStopGate::Pass)
{
    ServeConnection(id, fd, peer);
    close(fd);
    EndConnection(id);
}
