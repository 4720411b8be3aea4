// The receive loop's batch: up to 8 datagrams read in one system call, each
// cut to 4095 bytes, the most the loop hands to the parser.
#pragma once

#include "platform/udp_batch.h"

class LSipDatagramBatch : public LUdpDatagramBatch<8, 4095>
{
  public:
    static constexpr size_t kCapacity = 4096; // at most 4095 bytes are read
};
