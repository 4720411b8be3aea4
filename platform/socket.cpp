#include "platform/socket.h"

#include "platform/log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

void LSocket::Close()
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
}

int LSocket::Detach()
{
    int fd = m_fd;
    m_fd = -1;
    return fd;
}

void LSocket::Attach(int fd)
{
    Close();
    m_fd = fd;
}

bool LSocket::OpenKind(int type)
{
    Close();
    m_fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        LOGERRORTEXT("Cannot open a socket: ", strerror(errno));
    return m_fd >= 0;
}

bool LSocket::GetLocalAddress(LIPAddressWithPort &address) const
{
    socklen_t length = LIPAddressWithPort::GetSockAddrLength();
    return m_fd >= 0 && getsockname(m_fd, address.GetSockAddr(), &length) == 0;
}

bool LSocket::SetNonBlocking(bool on)
{
    int flags = m_fd >= 0 ? fcntl(m_fd, F_GETFL) : -1;
    if (flags < 0)
        return false;
    flags = on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
    return fcntl(m_fd, F_SETFL, flags) == 0;
}

bool LUdpSocket::Bind(int port, uint32_t address)
{
    if (!IsValid() && !Open())
        return false;
    LIPAddressWithPort local(address, port);
    if (bind(m_fd, local.GetSockAddr(), local.GetSockAddrLength()) == 0)
        return true;
    LOGERRORF("Cannot bind UDP port %d: %s", port, strerror(errno));
    return false;
}

int LUdpSocket::SendTo(const void *data, int length, const LIPAddressWithPort &to)
{
    if (m_fd < 0 || length < 0)
        return -1;
    return (int)sendto(m_fd, data, (size_t)length, MSG_NOSIGNAL, to.GetSockAddr(),
                       to.GetSockAddrLength());
}

int LUdpSocket::RecvFrom(void *buffer, int length, LIPAddressWithPort &from)
{
    if (m_fd < 0 || length < 0)
        return -1;
    socklen_t size = LIPAddressWithPort::GetSockAddrLength();
    return (int)recvfrom(m_fd, buffer, (size_t)length, MSG_DONTWAIT, from.GetSockAddr(), &size);
}

bool LTcpSocket::Listen(int port, uint32_t address, int backlog)
{
    if (!Open())
        return false;
    int on = 1;
    setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    LIPAddressWithPort local(address, port);
    if (bind(m_fd, local.GetSockAddr(), local.GetSockAddrLength()) != 0 ||
        listen(m_fd, backlog) != 0) {
        LOGERRORF("Cannot listen on TCP port %d: %s", port, strerror(errno));
        Close();
        return false;
    }
    return true;
}

bool LTcpSocket::Accept(LTcpSocket &connection, LIPAddressWithPort *peer)
{
    LIPAddressWithPort from;
    socklen_t size = LIPAddressWithPort::GetSockAddrLength();
    int fd = accept4(m_fd, from.GetSockAddr(), &size, SOCK_CLOEXEC);
    if (fd < 0)
        return false;
    connection.Attach(fd);
    if (peer)
        *peer = from;
    return true;
}
