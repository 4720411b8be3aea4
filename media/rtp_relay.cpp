#include "media/rtp_relay.h"

#include "config/pbx_global_settings.h"
#include "media/rtp_relay_trace.h"
#include "platform/log.h"
#include "platform/signal.h"

#include <poll.h>

static uint16_t ConfiguredPortBase()
{
    int base = LPBXSettings::SipRtpPortBase.Get();
    return (uint16_t)(base > 0 && base < 65534 ? base : 8000);
}

LRtpRelay::LRtpRelay(LSDPSettings &media) : LRtpRelay(ConfiguredPortBase(), kKeepAliveMs, media) {}

// A binds first, so B's search from the same base skips A's port and the
// relay takes the two lowest free even ports, A the lower.
LRtpRelay::LRtpRelay(uint16_t portBase, uint32_t keepAliveMs, LSDPSettings &media)
    : media_(media), a_(portBase, media), b_(portBase, media), keepAliveMs_(keepAliveMs)
{
}

LRtpRelay::~LRtpRelay()
{
    StopThreadNow();
    recorder_.reset();
}

void LRtpRelay::Start(const std::string &recorderFile, uint8_t g72632PayloadType)
{
    StopThreadNow();
    recorder_.reset();
    if (!recorderFile.empty())
        recorder_ = std::make_unique<LRtpRecord>(recorderFile, g72632PayloadType);
    a_.ResetLatch();
    b_.ResetLatch();
    LThread::Start(StartRealTime);
}

void LRtpRelay::SendKeepAlives()
{
    static const unsigned char kZeros[4] = {0, 0, 0, 0};
    if (a_.IsKeepAlive() && b_.HasDestination())
        a_.GetSocket().SendPacket(kZeros, sizeof kZeros, b_.GetRemoteAddress());
    if (b_.IsKeepAlive() && a_.HasDestination())
        b_.GetSocket().SendPacket(kZeros, sizeof kZeros, a_.GetRemoteAddress());
}

void LRtpRelay::ThreadFunction()
{
    LRtpHeader packet; // the one buffer of the forwarding path
    // One poll over the stop signal and both sockets; its results say which
    // socket to drain, so an idle direction costs no extra receive call.
    pollfd fds[3] = {{GetStopSignal().GetHandle(), POLLIN, 0},
                     {a_.GetSocket().GetHandle(), POLLIN, 0},
                     {b_.GetSocket().GetHandle(), POLLIN, 0}};
    SendKeepAlives();
    for (;;) {
        int ready = poll(fds, 3, (int)keepAliveMs_);
        if (IsToStop())
            return;
        if (ready == 0)
            SendKeepAlives();
        if (ready <= 0)
            continue;
        // Socket A carries the answerer's packets, which leave from B's
        // socket for the offerer; socket B the other way round.
        if (fds[1].revents != 0 && !Drain(a_, b_, true, packet))
            return;
        if (fds[2].revents != 0 && !Drain(b_, a_, false, packet))
            return;
    }
}

// Returns false when the thread is to stop.
bool LRtpRelay::Drain(Connection &in, Connection &other, bool fromA, LRtpHeader &packet)
{
    for (;;) {
        LRtpAddress source;
        int length = in.GetSocket().ReceivePacket(packet.data, LRtpHeader::kMaxDatagram, source);
        if (length < 0)
            return true;
        if (other.AcceptSource(source, packet.data, length))
            Forward(in, other, fromA, packet, length, source);
        else
            dropped_.fetch_add(1, std::memory_order_relaxed);
        if (IsToStop())
            return false;
    }
}

void LRtpRelay::Forward(Connection &in, Connection &other, bool fromA, LRtpHeader &packet,
                        int length, const LRtpAddress &source)
{
    forwarded_.fetch_add(1, std::memory_order_relaxed);
    if (!in.HasDestination())
        return;
    const LRtpAddress &destination = in.GetRemoteAddress();
    other.GetSocket().SendPacket(packet.data, length, destination);
    if (LRtpTraceIsEnabled()) {
        char from[22], to[22];
        LRtpTraceWrite(media_, "Rtp Relay %s >>> %s (%d bytes)\r\n",
                       LRtpFormatAddress(source, from), LRtpFormatAddress(destination, to), length);
    }
    if (recorder_ != nullptr && length >= LRtpHeader::kHeaderSize) {
        packet.payloadBytes = (uint32_t)(length - LRtpHeader::kHeaderSize);
        recorder_->WriteRtpPacket(packet, fromA);
    }
}

std::unique_ptr<LSDPRelay> LRtpRelayCreate(LSDPSettings &media)
{
    auto relay = std::make_unique<LRtpRelay>(media);
    if (!relay->IsBound()) {
        LOGERROR("Rtp Relay: no port could be bound; the call goes on without relay");
        return nullptr;
    }
    return relay;
}
