#include "sip/sip_udp_socket.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

LSipBindResult LIPSocketUDP::Bind(int port)
{
    Close();
    m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd < 0)
        return LSipBindResult::Failed;
    LIPAddressWithPort local(INADDR_ANY, port);
    if (bind(m_fd, local.GetSockAddr(), local.GetSockAddrLength()) == 0)
        return LSipBindResult::Bound;
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
