#include "media/rtp_receive_stack.h"

#include "media/rtp_relay_trace.h"

#include <arpa/inet.h>
#include <cstring>
#include <sys/socket.h>

LRtpReceivePacketStack::LRtpReceivePacketStack(LSDPSettings &media, const LClock &clock)
    : media_(media), clock_(clock), startTime_(clock.Tick())
{
    for (Slot &slot : slots_)
        slot.inUse = false;
}

void LRtpReceivePacketStack::Restart()
{
    started_ = false;
    startTime_ = clock_.Tick();
}

void LRtpReceivePacketStack::FreeAll()
{
    for (Slot &slot : slots_)
        slot.inUse = false;
    inUse_ = 0;
}

int LRtpReceivePacketStack::FreeSlot() const
{
    for (int i = 0; i < kSlots; i++)
        if (!slots_[i].inUse)
            return i;
    return -1;
}

int LRtpReceivePacketStack::GetWaiting() const
{
    return inUse_;
}

bool LRtpReceivePacketStack::ReceivePacket(int socket)
{
    int slot = FreeSlot();
    if (slot < 0) {
        // The decoder gives up on the missing packet soon; until then the
        // datagrams wait in the socket's own queue.
        clock_.Sleep(10);
        return false;
    }
    socklen_t length = sizeof lastSource_;
    // MSG_TRUNC makes the call return the datagram's real length, so one too
    // long for the buffer is seen and dropped instead of played cut off.
    ssize_t got = recvfrom(socket, slots_[slot].packet.data, LRtpHeader::kBufferSize, MSG_TRUNC,
                           (sockaddr *)&lastSource_, &length);
    if (got < 0)
        return false;
    if (got <= LRtpHeader::kBufferSize)
        Accept(slot, (int)got);
    return true;
}

bool LRtpReceivePacketStack::ReceiveBytes(const void *datagram, int length,
                                          const LRtpAddress &source)
{
    int slot = FreeSlot();
    if (slot < 0)
        return false;
    lastSource_ = source;
    if (length >= 0 && length <= LRtpHeader::kBufferSize) {
        memcpy(slots_[slot].packet.data, datagram, (size_t)length);
        Accept(slot, length);
    }
    return true;
}

static void TraceReceived(LSDPSettings &media, uint32_t tick, const LRtpHeader &packet,
                          const LRtpAddress &source)
{
    char from[22];
    LRtpTraceWrite(media, "%dms Rtp <<< %s %s %d seq=%d ts=%d ssrc=%d %d bytes\r\n",
                   (int)(tick % 10000), LRtpFormatAddress(source, from),
                   packet.GetMark() ? "Mark" : "    ", packet.GetPayloadType(),
                   packet.ReadSequence(), (int)packet.ReadTimeStamp(), (int)ntohl(packet.GetSSRC()),
                   (int)packet.payloadBytes);
}

void LRtpReceivePacketStack::Accept(int slot, int length)
{
    LRtpHeader &packet = slots_[slot].packet;
    if (length < LRtpHeader::kHeaderSize || (packet.data[0] & 0xC0) != 0x80)
        return;
    packet.payloadBytes = (uint32_t)(length - LRtpHeader::kHeaderSize);
    const unsigned char *payload;
    int payloadLength;
    // CSRCs, extension or padding claiming more than arrived: nothing in it
    // can be played.
    if (!packet.GetDataBufferAndLength(payload, payloadLength))
        return;
    if (LRtpTraceIsEnabled())
        TraceReceived(media_, clock_.Tick(), packet, lastSource_);
    if (!started_) {
        ssrc_ = packet.GetSSRC();
        nextSequence_ = packet.ReadSequence();
        started_ = true;
    }
    if (packet.GetSSRC() != ssrc_) {
        if (clock_.Since(startTime_) > kNewStreamMs)
            return;
        ssrc_ = packet.GetSSRC();
        nextSequence_ = packet.ReadSequence();
        FreeAll(); // the old stream's packets would play as lost ones later
    }
    if (IsFarBehind(packet.ReadSequence()))
        return;
    slots_[slot].inUse = true;
    inUse_++;
    acceptedSource_ = lastSource_;
    FindNextPacket();
}

// Sequence numbers are 16 bits, so a packet more than 256 behind would look
// far ahead and be played out of place after a pause. The back half of the
// number space counts as behind; two such packets in a row are a sender that
// restarted its numbering (RFC 3550 A.1) and are followed.
bool LRtpReceivePacketStack::IsFarBehind(uint16_t sequence)
{
    uint16_t d = (uint16_t)(sequence - nextSequence_);
    if (d < 32768 || d >= 65280)
        return false;
    if (started_ && sequence == restartSequence_) {
        nextSequence_ = sequence;
        FreeAll(); // the old numbering's packets are stale now
        return false;
    }
    restartSequence_ = (uint16_t)(sequence + 1);
    return true;
}

// Distances count forward from the expected number; the last 256 numbers
// before it are late or repeated packets and go.
void LRtpReceivePacketStack::FindNextPacket()
{
    next_ = -1;
    uint16_t best = 0;
    // Only the slots in use are looked at: usually one or two, at the front.
    for (int i = 0, seen = 0, count = inUse_; i < kSlots && seen < count; i++) {
        if (!slots_[i].inUse)
            continue;
        seen++;
        uint16_t d = (uint16_t)(slots_[i].packet.ReadSequence() - nextSequence_);
        if (d >= 65280) {
            slots_[i].inUse = false;
            inUse_--;
            continue;
        }
        if (next_ < 0 || d < best) {
            next_ = i;
            best = d;
        }
    }
}

void LRtpReceivePacketStack::GetNextPacket(LRtpHeader &out)
{
    Slot &slot = slots_[next_];
    memcpy(out.data, slot.packet.data, LRtpHeader::kHeaderSize + slot.packet.payloadBytes);
    out.payloadBytes = slot.packet.payloadBytes;
    slot.inUse = false;
    inUse_--;
    nextSequence_ = (uint16_t)(slot.packet.ReadSequence() + 1);
    FindNextPacket();
}
