#include "service/control_channel.h"

#include "platform/log.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{
constexpr int kBacklog = 5;
constexpr int kPollMs = 200;

bool InGroupList(uid_t uid, gid_t group)
{
    passwd entry{};
    passwd *found = nullptr;
    char buffer[4096];
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) != 0 || !found)
        return false;
    gid_t groups[256];
    int count = 256;
    if (getgrouplist(found->pw_name, found->pw_gid, groups, &count) < 0)
        return false;
    for (int i = 0; i < count; i++)
        if (groups[i] == group)
            return true;
    return false;
}

// Whether a service listens on the socket file at address; a file left by
// an instance that crashed refuses the connection.
bool Answers(const sockaddr_un &address)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // A listener whose backlog is full is still there (EAGAIN).
    bool live = connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 ||
                errno == EAGAIN || errno == EINPROGRESS;
    close(fd);
    return live;
}
} // namespace

LControlChannel::LControlChannel(LControlWaker &waker, size_t queueLimit)
    : m_waker(waker), m_queueLimit(queueLimit)
{
}

LControlChannel::~LControlChannel()
{
    Close();
}

bool LControlChannel::IsPeerAllowed(uid_t uid, gid_t gid)
{
    gid_t ours = getegid();
    return uid == 0 || uid == geteuid() || gid == ours || InGroupList(uid, ours);
}

LControlChannel::OpenResult LControlChannel::Open(const char *path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (!path || std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path) >=
                     static_cast<int>(sizeof address.sun_path)) {
        LOGERRORTEXT("Control channel path too long: ", path ? path : "");
        return OpenResult::Failed;
    }
    // Unlinking a live channel would leave its service unreachable by every
    // window and stop request once this process ends.
    if (Answers(address))
        return OpenResult::Taken;
    m_listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0)
        return OpenResult::Failed;
    unlink(path); // left behind by an instance that crashed
    // Created closed and opened to the group only once bound, so there is no
    // moment in which anyone else could connect.
    mode_t old = umask(0177);
    bool bound = bind(m_listenFd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    umask(old);
    if (!bound || chown(path, static_cast<uid_t>(-1), getegid()) != 0 || chmod(path, 0660) != 0 ||
        listen(m_listenFd, kBacklog) != 0) {
        LOGERRORTEXT("Unable to open the control channel ", path);
        close(m_listenFd);
        m_listenFd = -1;
        return OpenResult::Failed;
    }
    m_path = path;
    return Start(StartNormal) ? OpenResult::Opened : OpenResult::Failed;
}

void LControlChannel::Close()
{
    StopThreadNow();
    std::vector<std::shared_ptr<LControlConnection>> connections;
    {
        std::lock_guard<std::mutex> list(m_listLock);
        connections.swap(m_connections);
    }
    connections.clear(); // each stops and joins its thread
    if (m_listenFd >= 0) {
        close(m_listenFd);
        m_listenFd = -1;
        unlink(m_path.c_str());
    }
}

void LControlChannel::ThreadFunction()
{
    while (!IsToStop()) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {GetStopSignal().GetHandle(), POLLIN, 0}};
        int ready = poll(fds, 2, kPollMs);
        Reap();
        if (ready > 0 && (fds[0].revents & POLLIN))
            Accept();
    }
}

void LControlChannel::Accept()
{
    int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    ucred peer{};
    socklen_t length = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
        !IsPeerAllowed(peer.uid, peer.gid)) {
        close(fd);
        LOGWARNF("Control window of user %u refused: not in the service's group",
                 static_cast<unsigned>(peer.uid));
        return;
    }
    auto connection = std::make_shared<LControlConnection>(fd, m_waker, m_queueLimit);
    {
        std::lock_guard<std::mutex> list(m_listLock);
        m_connections.push_back(connection);
    }
    connection->Start(StartNormal);
}

void LControlChannel::Reap()
{
    std::vector<std::shared_ptr<LControlConnection>> ended;
    {
        std::lock_guard<std::mutex> list(m_listLock);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            if ((*it)->IsFinished()) {
                ended.push_back(*it);
                it = m_connections.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Joined and deleted here, outside the list lock (unless the main thread
    // still holds one for a request it is handling).
}

void LControlChannel::HandlePending(LBackgroundEngine &engine)
{
    std::vector<std::shared_ptr<LControlConnection>> connections;
    {
        std::lock_guard<std::mutex> list(m_listLock);
        connections = m_connections;
    }
    // Without the list lock: a request may log, and logging broadcasts.
    for (auto &connection : connections)
        connection->HandlePending(engine);
}

void LControlChannel::Broadcast(const std::string &bytes)
{
    std::lock_guard<std::mutex> list(m_listLock);
    for (auto &connection : m_connections)
        connection->Queue(bytes);
}

void LControlChannel::Notify(int code, const void *data, int size)
{
    LControl::Header header;
    header.type = LControl::TypeNotify;
    header.code = static_cast<uint32_t>(code);
    uint32_t length = (data && size > 0) ? static_cast<uint32_t>(size) : 0;
    header.size = length;
    header.extra = length;
    Broadcast(LControl::Encode(header, data, length));
}

void LControlChannel::LogLine(int level, const char *timeText, const char *text)
{
    Broadcast(LControl::EncodeLogLine(level, timeText ? timeText : "", text ? text : ""));
}

int LControlChannel::GetConnectionCount()
{
    std::lock_guard<std::mutex> list(m_listLock);
    int count = 0;
    for (auto &connection : m_connections)
        count += connection->IsFinished() ? 0 : 1;
    return count;
}
