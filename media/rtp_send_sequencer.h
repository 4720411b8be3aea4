// Numbering and pacing of everything the engine sends: sequence numbers,
// timestamps and the SSRC (RFC 3550 5.1), and the throttle that keeps a
// writer producing audio faster than real time about 240 ms ahead.
#pragma once

#include "media/rtp_header.h"
#include "platform/clock.h"
#include "platform/lock.h"

#include <cstdint>

class LRTPSendSequencer
{
  public:
    static constexpr int kMaxAheadMs = 240;

    // Numbering starts from the clock's tick, so two runs differ; the
    // pacing sleeps on the same clock.
    explicit LRTPSendSequencer(const LClock &clock);

    uint32_t GetSSRC() const { return ssrc_; }
    // Writes the next sequence number and timestamp into the packet, then
    // moves the timestamp on by the samples it carries.
    void Stamp(LRtpHeader &packet, uint32_t samples);
    // Moves the timestamp on for samples not sent (silence).
    void Skip(uint32_t samples);
    // Milliseconds of audio numbered beyond real time.
    int GetTimeAhead();
    // After every frame: sleeps back to 240 ms ahead (at most 20 ms); forgets
    // its lead when more than 20 ms behind (the writer stalled).
    void SyncWriteDelay();
    // Before new audio replaces what is queued: lets most of the lead play.
    void FlushSendAudio();

  private:
    int TimeAheadLocked(uint32_t now);
    const LClock &clock_;
    LLockObject lock_;
    uint16_t nextSequence_;
    uint32_t nextTimeStamp_;
    uint32_t ssrc_;
    uint32_t baseTime_;
    uint32_t baseTimeStamp_;
};
