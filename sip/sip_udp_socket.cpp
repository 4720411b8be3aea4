#include "sip/sip_udp_socket.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;
}

LSipBindResult LIPSocketUDP::Bind(int port)
{
    Close();
    m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd < 0)
        return LSipBindResult::Failed;
    LIPAddressWithPort local(INADDR_ANY, port);
    if (bind(m_fd, local.GetSockAddr(), local.GetSockAddrLength()) == 0) {
        // Phones re-register all at once after a power cut; the default
        // buffer holds only about 200 small datagrams. Forcing needs
        // CAP_NET_ADMIN; otherwise the system's maximum applies.
        int size = kReceiveBufferBytes;
        if (setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof(size)) != 0)
            (void)setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
        return LSipBindResult::Bound;
    }
    int error = errno;
    Close();
    return error == EADDRINUSE ? LSipBindResult::PortInUse : LSipBindResult::Failed;
}

void LIPSocketUDP::Close()
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
}

void LIPSocketUDP::SendTo(const LIPAddressWithPort &to, const void *bytes, size_t length) const
{
    if (m_fd >= 0)
        (void)sendto(m_fd, bytes, length, MSG_NOSIGNAL, to.GetSockAddr(), to.GetSockAddrLength());
}

long LIPSocketUDP::ReceiveFrom(void *buffer, size_t capacity, LIPAddressWithPort &from) const
{
    if (m_fd < 0)
        return -1;
    socklen_t size = from.GetSockAddrLength();
    ssize_t got;
    do
        got = recvfrom(m_fd, buffer, capacity, MSG_DONTWAIT, from.GetSockAddr(), &size);
    while (got < 0 && errno == EINTR);
    return got;
}
