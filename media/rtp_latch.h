// The first latch of a relay endpoint whose SDP address cannot be trusted to
// be where its packets come from (a private address behind a NAT, or none):
// as strict-RTP implementations do, a source is taken only after it sent a
// short run of RTP packets of one SSRC with consecutive sequence numbers, so
// a single stray or spoofed packet cannot redirect the other party's audio.
#pragma once

#include "media/rtp_relay_socket.h"

#include <cstdint>

class LRtpLatchProbe
{
  public:
    // Consecutive packets needed before a source is believed.
    static constexpr int kRun = 4;

    // Counts one datagram from source; true once source has completed the
    // run. A packet that is not RTP version 2 counts for nothing.
    bool Offer(const LRtpAddress &source, const uint8_t *data, int length);
    void Reset() { count_ = 0; }

  private:
    LRtpAddress source_{};
    uint32_t ssrc_ = 0;
    uint16_t sequence_ = 0;
    int count_ = 0;
};
