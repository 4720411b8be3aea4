// The call recorder fed by an RTP relay: decodes the packets of both
// directions, lines the two voices up and writes their sum to the recorder
// client's sink.
#pragma once

#include "media/codecs/g726.h"
#include "media/codecs/gsm.h"
#include "media/soundsink.h"
#include "platform/bucket.h"

#include <cstdint>
#include <string>

struct LRtpHeader;

class LRtpRecord
{
  public:
    // One packet decodes to at most this many samples; the rest is dropped.
    static constexpr int kMaxSamples = 8192;
    static constexpr int kFifoBytes = 64000;
    // A side that stops sending holds the other back by at most 400 ms.
    static constexpr int kMaxSkewBytes = 12801;
    static constexpr uint8_t kNoPayloadType = 255;

    // Streams to the recording servers of section "Recorder".
    LRtpRecord(const std::string &fileName, uint8_t g72632PayloadType);
    LRtpRecord(LSoundSink sink, uint8_t g72632PayloadType);
    // Pads the shorter side with silence, mixes the rest and ends the
    // recording.
    ~LRtpRecord();
    LRtpRecord(const LRtpRecord &) = delete;
    LRtpRecord &operator=(const LRtpRecord &) = delete;

    // fromA: the packet arrived on socket A (the answerer's voice).
    void WriteRtpPacket(const LRtpHeader &packet, bool fromA);

    // Decodes one payload with the given direction's state; returns the
    // sample count (0 for payload types that are not recorded).
    int Decode(int payloadType, const unsigned char *payload, int length, bool fromA, int *samples);

  private:
    struct Side {
        explicit Side() : fifo(kFifoBytes) {}
        LBucketThreadUnsafe fifo;
        bool silent = true;
        LGSMDecoder gsm;
        LG726 g726;
    };

    void Queue(Side &self, Side &other, const int *samples, int count);
    void Mix();

    Side a_;
    Side b_;
    uint8_t g72632_;
    LSoundSink sink_;
};

// Where the payload of an RTP packet of total bytes starts and how long it is,
// after CSRCs, header extension and padding (RFC 3550 5.1, 5.3.1).
void LRtpFindPayload(const unsigned char *packet, int total, int &offset, int &length);
