// One RTP packet in a fixed buffer: the 12-byte header of RFC 3550 and up to
// 4096 bytes after it. The relay forwards it untouched; the exchange's own
// endpoint builds and parses it.
#pragma once

#include <cstdint>

struct LRtpHeader {
    static constexpr int kHeaderSize = 12;
    static constexpr int kMaxDatagram = 4096;
    static constexpr int kBufferSize = kHeaderSize + kMaxDatagram;
    unsigned char data[kBufferSize];
    uint32_t payloadBytes; // bytes after the fixed header

    // Version 2, no padding, extension or CSRC; the SSRC is only an
    // identifier and goes out in host order.
    void InitializeRtpHeader(uint8_t payloadType, uint32_t ssrc, bool mark);
    void SetPayloadAndMark(uint8_t payloadType, bool mark);
    void SetMark(bool mark);
    void SetRtpHeaderSequence(uint16_t sequence);
    void SetRtpHeaderTimeStamp(uint32_t timestamp);

    uint8_t GetPayloadType() const { return data[1] & 0x7F; }
    bool GetMark() const { return (data[1] & 0x80) != 0; }
    // Network order, as on the wire.
    uint16_t ReadSequence() const;
    uint32_t ReadTimeStamp() const;
    uint32_t GetSSRC() const;
    unsigned char *GetPayload() { return data + kHeaderSize; }

    // The payload after CSRCs, header extension and padding. False (nothing
    // set) when those claim more bytes than the packet has.
    bool GetDataBufferAndLength(const unsigned char *&payload, int &length) const;
};
