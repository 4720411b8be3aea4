#include "media/rtp_relay.h"

#include "config/pbx_global_settings.h"
#include "media/rtp_relay_trace.h"
#include "platform/log.h"

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
    Stop();
    recorder_.reset();
}

void LRtpRelay::Start(const std::string &recorderFile, uint8_t g72632PayloadType)
{
    Stop();
    recorder_.reset();
    if (!recorderFile.empty())
        recorder_ = std::make_unique<LRtpRecord>(recorderFile, g72632PayloadType);
    a_.ResetLatch();
    b_.ResetLatch();
    SendKeepAlives();
    loopId_ = media_.GetRelayLoop().Add(*this, a_.GetSocket().GetHandle(),
                                        b_.GetSocket().GetHandle(), keepAliveMs_);
}

void LRtpRelay::Stop()
{
    if (loopId_ < 0)
        return;
    media_.GetRelayLoop().Remove(loopId_);
    loopId_ = -1;
}

void LRtpRelay::SendKeepAlives()
{
    static const unsigned char kZeros[4] = {0, 0, 0, 0};
    if (a_.IsKeepAlive() && b_.HasDestination())
        a_.GetSocket().SendPacket(kZeros, sizeof kZeros, b_.GetRemoteAddress());
    if (b_.IsKeepAlive() && a_.HasDestination())
        b_.GetSocket().SendPacket(kZeros, sizeof kZeros, a_.GetRemoteAddress());
}

// Socket A carries the answerer's packets, which leave from B's socket for
// the offerer; socket B the other way round.
void LRtpRelay::OnReadable(bool fromA, LRtpRelayBatch &batch)
{
    Connection &in = fromA ? a_ : b_;
    Connection &other = fromA ? b_ : a_;
    int count = batch.Receive(in.GetSocket().GetHandle());
    if (batch.GetError() != 0)
        LOGERRORNUM("LIPSocketUDP::ReceivePacket FAILED: ", batch.GetError());
    for (int i = 0; i < count; ++i) {
        LRtpHeader &packet = batch.Slot(i);
        const LRtpAddress &source = batch.From(i).GetSockAddrIn();
        int length = (int)batch.Length(i);
        if (other.AcceptSource(source, packet.data, length))
            Forward(in, other, fromA, packet, length, source);
        else
            dropped_.fetch_add(1, std::memory_order_relaxed);
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
