// The datagrams waiting on a UDP socket, read with one recvmmsg call into
// buffers whose iovecs, headers and source addresses are set up once, so a
// read allocates and prepares nothing. A batch that comes back short has
// emptied the socket: no further read is needed to find it empty.
#pragma once

#include "platform/ipaddress.h"

#include <cerrno>
#include <sys/socket.h>
#include <type_traits>

// Each datagram lands in the first ReadLimit bytes of one Buffer (a byte
// array, or a packet type that begins with its bytes); a longer one is cut.
template <int Count, size_t ReadLimit, typename Buffer = char[ReadLimit]> class LUdpDatagramBatch
{
    static_assert(std::is_standard_layout_v<Buffer> && sizeof(Buffer) >= ReadLimit);

  public:
    static constexpr int kCount = Count;

    LUdpDatagramBatch()
    {
        for (int i = 0; i < Count; i++) {
            m_vectors[i] = iovec{&m_buffers[i], ReadLimit};
            msghdr &header = m_messages[i].msg_hdr;
            header.msg_name = m_from[i].GetSockAddr();
            header.msg_namelen = m_from[i].GetSockAddrLength();
            header.msg_iov = &m_vectors[i];
            header.msg_iovlen = 1;
        }
    }
    LUdpDatagramBatch(const LUdpDatagramBatch &) = delete; // points into itself

    // Without blocking: the number read, 0 when none waits or on a failure,
    // whose errno GetError keeps (0 after a read or an empty socket).
    int Receive(int fd)
    {
        int got = recvmmsg(fd, m_messages, Count, MSG_DONTWAIT, nullptr);
        m_error = got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR ? errno : 0;
        return got < 0 ? 0 : got;
    }
    int GetError() const { return m_error; }

    Buffer &Slot(int index) { return m_buffers[index]; }
    const char *Bytes(int index) const { return (const char *)&m_buffers[index]; }
    size_t Length(int index) const { return m_messages[index].msg_len; }
    bool IsTruncated(int index) const { return m_messages[index].msg_hdr.msg_flags & MSG_TRUNC; }
    const LIPAddressWithPort &From(int index) const { return m_from[index]; }

  private:
    Buffer m_buffers[Count];
    LIPAddressWithPort m_from[Count];
    iovec m_vectors[Count];
    mmsghdr m_messages[Count] = {};
    int m_error = 0;
};
