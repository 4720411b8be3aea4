#include "sip/sip_udp_batch.h"

#include <cerrno>

int LSipDatagramBatch::Receive(int fd)
{
    if (fd < 0)
        return 0;
    for (int i = 0; i < kCount; i++) {
        m_vectors[i] = iovec{m_bytes[i], kCapacity - 1};
        msghdr &header = m_messages[i].msg_hdr;
        header = msghdr{};
        header.msg_name = m_from[i].GetSockAddr();
        header.msg_namelen = m_from[i].GetSockAddrLength();
        header.msg_iov = &m_vectors[i];
        header.msg_iovlen = 1;
        m_messages[i].msg_len = 0;
    }
    int got;
    do
        got = recvmmsg(fd, m_messages, kCount, MSG_DONTWAIT, nullptr);
    while (got < 0 && errno == EINTR);
    return got < 0 ? 0 : got;
}
