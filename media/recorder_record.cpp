#include "media/recorder_record.h"

#include <algorithm>
#include <cstring>

#include "config/settings.h"
#include "media/codecs/sampleformats.h"
#include "media/recorder_client.h"
#include "media/rtp_relay.h"

void LRtpFindPayload(const unsigned char *packet, int total, int &offset, int &length)
{
    offset = std::min(total, 12 + 4 * (packet[0] & 0x0F));
    if ((packet[0] & 0x10) && total - offset >= 4) {
        int words = (packet[offset + 2] << 8) | packet[offset + 3];
        offset = std::min(total, offset + (words + 1) * 4);
    } else if (packet[0] & 0x10) {
        offset = total;
    }
    length = total - offset;
    if ((packet[0] & 0x20) && length > 0)
        length -= std::min(length, (int)packet[total - 1]);
}

static LSoundSink OpenConfiguredSink(const std::string &fileName)
{
    char hosts[LLongTextSize], code[LLongTextSize];
    LSettingGetString("Recorder", "TallyHost", "localhost:4080", hosts);
    LSettingGetString("Recorder", "TallyAccessCode", "", code);
    return LOpenTallyClientRecordSink(hosts, code, fileName.c_str());
}

LRtpRecord::LRtpRecord(const std::string &fileName, uint8_t g72632PayloadType)
    : LRtpRecord(OpenConfiguredSink(fileName), g72632PayloadType)
{
}

LRtpRecord::LRtpRecord(LSoundSink sink, uint8_t g72632PayloadType)
    : g72632_(g72632PayloadType), sink_(sink)
{
}

LRtpRecord::~LRtpRecord()
{
    static const unsigned char kZeros[256] = {};
    Side &shorter = a_.fifo.GetUsed() < b_.fifo.GetUsed() ? a_ : b_;
    Side &longer = &shorter == &a_ ? b_ : a_;
    int missing = longer.fifo.GetUsed() - shorter.fifo.GetUsed();
    while (missing > 0 && shorter.fifo.Write(kZeros, std::min(missing, 256)) > 0)
        missing -= 256;
    Mix();
    sink_.Close();
}

int LRtpRecord::Decode(int payloadType, const unsigned char *payload, int length, bool fromA,
                       int *samples)
{
    Side &side = fromA ? a_ : b_;
    if (payloadType == 0 || payloadType == 8) {
        int count = std::min(length, kMaxSamples);
        if (payloadType == 0)
            ConvertSamplesIn(samples, (const LSFULAW *)payload, count);
        else
            ConvertSamplesIn(samples, (const LSFALAW *)payload, count);
        return count;
    }
    if (payloadType == 3) {
        int count = 0;
        for (; length > 32 && count + 160 <= kMaxSamples; length -= 33, payload += 33) {
            side.gsm.DecodeFrameNormal(payload, samples + count);
            count += 160;
        }
        return count;
    }
    if (g72632_ != kNoPayloadType && payloadType == g72632_) {
        int count = std::min(length * 2, kMaxSamples);
        side.g726.DecodeBuffer(samples, count, payload);
        return count;
    }
    return 0;
}

void LRtpRecord::WriteRtpPacket(const LRtpHeader &packet, bool fromA)
{
    int total = (int)packet.payloadBytes + LRtpHeader::kHeaderSize;
    int offset, length;
    LRtpFindPayload(packet.data, total, offset, length);
    int samples[kMaxSamples];
    int count = Decode(packet.data[1] & 0x7F, packet.data + offset, length, fromA, samples);
    if (count == 0)
        return;
    if (fromA)
        Queue(a_, b_, samples, count);
    else
        Queue(b_, a_, samples, count);
}

void LRtpRecord::Queue(Side &self, Side &other, const int *samples, int count)
{
    static const unsigned char kZeros[256] = {};
    // Whole samples only, and never more than the FIFO holds.
    int room = self.fifo.GetFree() / (int)sizeof(int);
    self.fifo.Write(samples, std::min(count, room) * (int)sizeof(int));
    int d = self.fifo.GetUsed() - other.fifo.GetUsed();
    if (d > 0 && (other.silent || d >= kMaxSkewBytes)) {
        d = std::min(d, other.fifo.GetFree() & ~3);
        for (int piece; d > 0; d -= piece) {
            piece = std::min(d, 256);
            other.fifo.Write(kZeros, piece);
        }
        other.silent = true;
    }
    Mix();
    self.silent = false;
}

void LRtpRecord::Mix()
{
    int a[kMaxSamples], b[kMaxSamples];
    for (;;) {
        int n = std::min(a_.fifo.GetUsed(), b_.fifo.GetUsed()) / (int)sizeof(int);
        n = std::min(n, kMaxSamples);
        if (n == 0)
            return;
        a_.fifo.Read(a, n * (int)sizeof(int));
        b_.fifo.Read(b, n * (int)sizeof(int));
        for (int i = 0; i < n; ++i)
            a[i] = (int)((uint32_t)a[i] + (uint32_t)b[i]);
        sink_.Write(a, n);
    }
}
