#include "desktop/run_once.h"

#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{
bool Address(sockaddr_un &address, const std::string &path)
{
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    return std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str()) <
           static_cast<int>(sizeof address.sun_path);
}

bool HandOver(const sockaddr_un &address, int argc, char **argv)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool sent = connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    for (int i = 1; sent && i < argc; i++) {
        std::string argument = std::string(argv[i]) + (i + 1 < argc ? " " : "");
        sent = send(fd, argument.data(), argument.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(argument.size());
    }
    close(fd);
    return sent;
}
} // namespace

int VLRunOnceClaim(const std::string &path, int argc, char **argv)
{
    sockaddr_un address;
    if (!Address(address, path))
        return -2;
    if (HandOver(address, argc, argv))
        return -1;
    unlink(path.c_str()); // left by a window that crashed
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -2;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(fd, 5) != 0) {
        close(fd);
        return -2;
    }
    return fd;
}

std::string VLRunOnceTake(int listenFd)
{
    std::string arguments;
    int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return arguments;
    char buffer[512];
    while (arguments.size() < 4096) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0)
            break;
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        arguments.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return arguments;
}
