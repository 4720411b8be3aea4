#include "media/rtp_header.h"

#include <cstring>

void LRtpHeader::InitializeRtpHeader(uint8_t payloadType, uint32_t ssrc, bool mark)
{
    data[0] = 0x80;
    SetPayloadAndMark(payloadType, mark);
    memcpy(data + 8, &ssrc, 4);
}

void LRtpHeader::SetPayloadAndMark(uint8_t payloadType, bool mark)
{
    data[1] = (unsigned char)((payloadType & 0x7F) | (mark ? 0x80 : 0));
}

void LRtpHeader::SetMark(bool mark)
{
    data[1] = (unsigned char)((data[1] & 0x7F) | (mark ? 0x80 : 0));
}

void LRtpHeader::SetRtpHeaderSequence(uint16_t sequence)
{
    data[2] = (unsigned char)(sequence >> 8);
    data[3] = (unsigned char)sequence;
}

void LRtpHeader::SetRtpHeaderTimeStamp(uint32_t timestamp)
{
    data[4] = (unsigned char)(timestamp >> 24);
    data[5] = (unsigned char)(timestamp >> 16);
    data[6] = (unsigned char)(timestamp >> 8);
    data[7] = (unsigned char)timestamp;
}

uint16_t LRtpHeader::ReadSequence() const
{
    return (uint16_t)((data[2] << 8) | data[3]);
}

uint32_t LRtpHeader::ReadTimeStamp() const
{
    return ((uint32_t)data[4] << 24) | ((uint32_t)data[5] << 16) | ((uint32_t)data[6] << 8) |
           data[7];
}

uint32_t LRtpHeader::GetSSRC() const
{
    uint32_t ssrc;
    memcpy(&ssrc, data + 8, 4);
    return ssrc;
}

bool LRtpHeader::GetDataBufferAndLength(const unsigned char *&payload, int &length) const
{
    int total = kHeaderSize + (int)payloadBytes;
    int start = kHeaderSize + 4 * (data[0] & 0x0F);
    if (start > total)
        return false;
    if (data[0] & 0x10) { // header extension (RFC 3550 5.3.1)
        if (start + 4 > total)
            return false;
        start += 4 + 4 * ((data[start + 2] << 8) | data[start + 3]);
        if (start > total)
            return false;
    }
    int end = total;
    if (data[0] & 0x20) { // padding: the last byte counts it
        int pad = end > start ? data[end - 1] : 0;
        if (pad == 0 || pad > end - start)
            return false;
        end -= pad;
    }
    payload = data + start;
    length = end - start;
    return true;
}
