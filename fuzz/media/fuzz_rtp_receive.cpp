// The receive path of the exchange's own RTP endpoint, as any host that
// learns a port can drive it: datagrams into the reorder store, the stream
// decoder (PCMU, PCMA, GSM, G.726, comfort noise, telephone events) and key
// press detection, in virtual time. Input: records of [delay ms][length:2]
// [datagram]; payload types are mapped onto the ones that decode something.
#include "../fuzz_check.h"
#include "media/rtp_dtmf.h"
#include "media/rtp_receive_stack.h"
#include "media/rtp_relay_loop.h"
#include "media/rtp_stream_decoder.h"
#include "media/sdp_relay_releaser.h"
#include "media/sdp_settings.h"
#include "platform/clock.h"

#include <cstdint>
#include <cstring>

namespace
{
struct NoLookups : LSDPHostResolver {
    bool ResolveHostName(const std::string &, uint32_t &) override { return false; }
};

struct Settings : LSDPSettings {
    explicit Settings(const LClock &clock) : loop(clock, 1), releaser(clock) {}
    LSDPHostResolver &GetHostResolver() override { return names; }
    void ResolvePublicAddress(LRtpPublicAddressQuery &) override {}
    LRtpHeldPorts &GetHeldPorts() override { return held; }
    LRtpRelayLoop &GetRelayLoop() override { return loop; }
    LSDPRelayReleaser &GetRelayReleaser() override { return releaser; }
    void WriteRtpTrace(const char *) override {}
    int GetQuality() override { return 50; }
    bool GetActive() override { return false; }
    NoLookups names;
    LRtpHeldPorts held;
    LRtpRelayLoop loop;
    LSDPRelayReleaser releaser;
};

struct Keys : LRtpDTMFNotify {
    int presses = 0;
    void DetectDTMFEvent(char key) override { presses += key != 0; }
    void DialDTMFComplete() override {}
};

// The engine's stream target: audio to key detection, events to the
// telephone-event decoder; 96 is G.726-32, 101 telephone events, 13 CN.
struct Target : LRtpStreamTarget {
    explicit Target(LRtpDTMF &dtmf) : dtmf(dtmf) {}
    void ReceiveAudio(const int *samples, int count) override
    {
        Check(count >= 0 && count <= 8192);
        received += count;
        dtmf.ReceiveAudio(samples, count);
    }
    void HandleTelephoneEvent(const LRtpHeader &packet) override
    {
        dtmf.HandleTelephoneEvent(packet);
    }
    uint8_t GetComfortNoisePayLoadType() const override { return 13; }
    uint8_t GetG72632PayLoadType() const override { return 96; }
    uint8_t GetTelephoneEventPayLoadType() const override { return 101; }
    LRtpDTMF &dtmf;
    long long received = 0;
};

constexpr uint8_t kTypes[] = {0, 8, 3, 96, 13, 101, 18, 127};

// What the engine's receive loop does when it wakes.
void Drain(LRtpReceivePacketStack &stack, LRtpStreamDecoder &decoder)
{
    LRtpHeader packet;
    for (int taken = 0; taken <= LRtpReceivePacketStack::kSlots; taken++) {
        if (!stack.HasNextPacket()) {
            Check(decoder.HandleNoPacketsReceived() > 0);
            return;
        }
        bool expected = stack.IsNextExpected();
        if (!expected && decoder.GetTimeToSkipPacketMS() > 5)
            return;
        stack.GetNextPacket(packet);
        Check(packet.payloadBytes <= (uint32_t)LRtpHeader::kMaxDatagram);
        decoder.HandlePacketReceived(packet, !expected);
    }
    Check(false); // more packets taken than the store holds
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static LManualClock clock(1000);
    static Settings media(clock);
    Keys keys;
    LRtpDTMF dtmf(keys, 50);
    dtmf.Start(101);
    Target target(dtmf);
    LRtpReceivePacketStack stack(media, clock);
    LRtpStreamDecoder decoder(target, clock);
    unsigned char datagram[LRtpHeader::kBufferSize + 16];
    for (size_t at = 0; at + 3 <= size;) {
        clock.Advance(data[at]);
        size_t length = (size_t)(data[at + 1] << 8 | data[at + 2]) % sizeof datagram;
        at += 3;
        length = length < size - at ? length : size - at;
        memcpy(datagram, data + at, length);
        at += length;
        if (length > 1)
            datagram[1] = (uint8_t)((datagram[1] & 0x80) | kTypes[datagram[1] & 7]);
        stack.ReceiveBytes(datagram, (int)length, LRtpAddress{});
        Check(stack.GetWaiting() <= LRtpReceivePacketStack::kSlots);
        Drain(stack, decoder);
    }
    dtmf.Stop();
    return 0;
}
