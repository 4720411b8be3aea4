// The receive side's reorder store: up to 64 packets of one stream (one
// SSRC) waiting to be played in sequence order. Late and repeated packets
// (up to 256 behind) are thrown away; a second stream is taken only in the
// first 5 s after a start, so a stray sender cannot take over a call.
#pragma once

#include "media/rtp_header.h"
#include "media/rtp_relay_socket.h"
#include "media/sdp_settings.h"
#include "platform/clock.h"

#include <cstdint>

class LRtpReceivePacketStack
{
  public:
    static constexpr int kSlots = 64;
    static constexpr uint32_t kNewStreamMs = 5000;

    // media takes the trace of received packets; the new-stream window
    // runs on clock.
    LRtpReceivePacketStack(LSDPSettings &media, const LClock &clock);

    // Reads one datagram from the socket into a free slot. With every slot
    // taken it sleeps 10 ms and leaves the datagram queued. False when
    // nothing was read.
    bool ReceivePacket(int socket);
    // The same for a datagram already in hand (tests, benchmarks).
    bool ReceiveBytes(const void *datagram, int length, const LRtpAddress &source);

    bool HasNextPacket() const { return next_ >= 0; }
    // The waiting packet closest after the expected sequence number.
    const LRtpHeader &PeekNextPacket() const { return slots_[next_].packet; }
    bool IsNextExpected() const { return HasNextPacket() && NextSequence() == nextSequence_; }
    // Copies the next packet out, frees its slot and expects the one after.
    void GetNextPacket(LRtpHeader &out);
    void Restart();

    // Where the last packet taken into the store came from (not a dropped
    // one: a stray sender must not redirect the reply).
    const LRtpAddress &GetLastSource() const { return acceptedSource_; }
    int GetWaiting() const;
    uint16_t GetNextSequence() const { return nextSequence_; }

  private:
    LSDPSettings &media_;
    const LClock &clock_;
    struct Slot {
        bool inUse;
        LRtpHeader packet;
    };
    int FreeSlot() const;
    void FreeAll();
    // Checks and takes in the datagram just written into slot.
    void Accept(int slot, int length);
    bool IsFarBehind(uint16_t sequence);
    void FindNextPacket();
    uint16_t NextSequence() const { return (uint16_t)slots_[next_].packet.ReadSequence(); }

    bool started_ = false;
    uint32_t startTime_;
    uint32_t ssrc_ = 0;
    uint16_t nextSequence_ = 0;
    uint16_t restartSequence_ = 0; // what follows a packet that was far behind
    Slot slots_[kSlots];
    int inUse_ = 0;
    int next_ = -1;
    LRtpAddress lastSource_{};
    LRtpAddress acceptedSource_{};
};
