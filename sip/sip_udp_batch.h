// The datagrams waiting on a UDP socket, read in one system call: a receive
// loop that stops when fewer arrive than it asked for needs no further read
// that only reports an empty socket.
#pragma once

#include "platform/ipaddress.h"

#include <cstddef>
#include <sys/socket.h>

class LSipDatagramBatch
{
  public:
    static constexpr int kCount = 8;
    static constexpr size_t kCapacity = 4096; // at most 4095 bytes are read

    // Reads what is waiting now, at most kCount datagrams, each cut to
    // kCapacity - 1 bytes; the number read, 0 when none waits or on an error.
    int Receive(int fd);
    const char *Bytes(int index) const { return m_bytes[index]; }
    size_t Length(int index) const { return m_messages[index].msg_len; }
    const LIPAddressWithPort &From(int index) const { return m_from[index]; }

  private:
    char m_bytes[kCount][kCapacity];
    LIPAddressWithPort m_from[kCount];
    iovec m_vectors[kCount];
    mmsghdr m_messages[kCount];
};
