#include "media/rtp_receive_stack.h"

#include "media/rtp_relay_trace.h"
#include "platform/tick.h"

#include <arpa/inet.h>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

LRtpReceivePacketStack::LRtpReceivePacketStack() : startTime_(GetTickCount())
{
    for (Slot &slot : slots_)
        slot.inUse = false;
}

void LRtpReceivePacketStack::Restart()
{
    started_ = false;
    startTime_ = GetTickCount();
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
    int waiting = 0;
    for (const Slot &slot : slots_)
        waiting += slot.inUse ? 1 : 0;
    return waiting;
}

bool LRtpReceivePacketStack::ReceivePacket(int socket)
{
    int slot = FreeSlot();
    if (slot < 0) {
        // The decoder gives up on the missing packet soon; until then the
        // datagrams wait in the socket's own queue.
        usleep(10000);
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

static void TraceReceived(const LRtpHeader &packet, const LRtpAddress &source)
{
    char from[22];
    LRtpTraceWrite("%dms Rtp <<< %s %s %d seq=%d ts=%d ssrc=%d %d bytes\r\n",
                   (int)(GetTickCount() % 10000), LRtpFormatAddress(source, from),
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
        TraceReceived(packet, lastSource_);
    if (!started_) {
        ssrc_ = packet.GetSSRC();
        nextSequence_ = packet.ReadSequence();
        started_ = true;
    }
    if (packet.GetSSRC() != ssrc_) {
        if (LTickSince(startTime_) > kNewStreamMs)
            return;
        ssrc_ = packet.GetSSRC();
        nextSequence_ = packet.ReadSequence();
    }
    slots_[slot].inUse = true;
    acceptedSource_ = lastSource_;
    FindNextPacket();
}

// Distances count forward from the expected number; the last 256 numbers
// before it are late or repeated packets and go.
void LRtpReceivePacketStack::FindNextPacket()
{
    next_ = -1;
    uint16_t best = 0;
    for (int i = 0; i < kSlots; i++) {
        if (!slots_[i].inUse)
            continue;
        uint16_t d = (uint16_t)(slots_[i].packet.ReadSequence() - nextSequence_);
        if (d >= 65280) {
            slots_[i].inUse = false;
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
    nextSequence_ = (uint16_t)(slot.packet.ReadSequence() + 1);
    FindNextPacket();
}
