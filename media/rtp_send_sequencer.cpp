#include "media/rtp_send_sequencer.h"

#include <algorithm>

LRTPSendSequencer::LRTPSendSequencer(const LClock &clock) : clock_(clock)
{
    uint32_t now = clock_.Tick();
    nextSequence_ = (uint16_t)now;
    nextTimeStamp_ = ssrc_ = baseTime_ = baseTimeStamp_ = now;
}

void LRTPSendSequencer::Stamp(LRtpHeader &packet, uint32_t samples)
{
    LLockScope hold(lock_);
    packet.SetRtpHeaderSequence(nextSequence_++);
    packet.SetRtpHeaderTimeStamp(nextTimeStamp_);
    nextTimeStamp_ += samples;
}

void LRTPSendSequencer::Skip(uint32_t samples)
{
    LLockScope hold(lock_);
    nextTimeStamp_ += samples;
}

int LRTPSendSequencer::TimeAheadLocked(uint32_t now)
{
    // Moving the base along keeps the differences far from the 32-bit
    // limits on long calls.
    if (LTickInterval(now, baseTime_) > 99999 && nextTimeStamp_ - baseTimeStamp_ >= 800000) {
        baseTime_ += 100000;
        baseTimeStamp_ += 800000;
    }
    return (int32_t)(nextTimeStamp_ - baseTimeStamp_) / 8 - (int32_t)LTickInterval(now, baseTime_);
}

int LRTPSendSequencer::GetTimeAhead()
{
    LLockScope hold(lock_);
    return TimeAheadLocked(clock_.Tick());
}

void LRTPSendSequencer::SyncWriteDelay()
{
    LLockScope hold(lock_);
    uint32_t now = clock_.Tick();
    int ahead = TimeAheadLocked(now);
    if (ahead < -20) {
        baseTime_ = now;
        baseTimeStamp_ = nextTimeStamp_;
    }
    hold.Unlock();
    // Sleeping just the excess (at most a frame) sends one packet every
    // 20 ms; a fixed 20 ms sleep overshoots a little each time until two
    // packets leave back to back.
    if (ahead > kMaxAheadMs)
        clock_.Sleep((uint32_t)std::min(ahead - kMaxAheadMs, 20));
}

void LRTPSendSequencer::FlushSendAudio()
{
    int ahead = GetTimeAhead();
    if (ahead >= 21)
        clock_.Sleep((uint32_t)(std::min(ahead, 200) - 20));
}
