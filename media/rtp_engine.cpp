#include "media/rtp_engine.h"

#include "config/pbx_global_settings.h"
#include "media/rtp_relay_trace.h"
#include "media/rtp_send_sink.h"
#include "platform/log.h"

#include <arpa/inet.h>

void LRtpSharedAddress::Store(const LRtpAddress &address)
{
    value_.store(((uint64_t)ntohl(address.sin_addr.s_addr) << 16) | ntohs(address.sin_port));
}

LRtpAddress LRtpSharedAddress::Load() const
{
    uint64_t value = value_.load();
    return LRtpMakeAddress((uint32_t)(value >> 16), (uint16_t)value);
}

LRtpEngine::LRtpEngine(LRtpDTMFNotify &notify, LSDPSettings &sdpSettings, const LClock &clock,
                       LRtpPublicAddressFunction publicAddress)
    : clock_(clock), sequencer_(clock), dtmf_(notify), session_(sdpSettings),
      publicAddress_(std::move(publicAddress)), socket_(sdpSettings.GetHeldPorts())
{
}

LRtpEngine::~LRtpEngine()
{
    StopThreadNow();
}

static constexpr uint16_t kPortLimit = 65534;

bool LRtpEngine::BindEvenPort(uint16_t from)
{
    bool inUse = true;
    for (localPort_ = (uint16_t)(from & ~1u); localPort_ < kPortLimit; localPort_ += 2) {
        if (socket_.BindToListenPort(localPort_, inUse))
            return true;
        if (!inUse)
            break;
    }
    LOGERRORNUM("Rtp Engine: cannot bind an RTP port from ", from);
    socket_.Close();
    return false;
}

bool LRtpEngine::Initialize()
{
    StopThreadNow();
    socket_.Close();
    if (!BindEvenPort((uint16_t)LPBXSettings::SipRtpPortBase.Get()))
        return false;
    localIP_ = LRtpGetLocalPrivateIP();
    ResolvePublicAddress();
    lastSendTime_.store(clock_.Tick());
    return socket_.IsBound();
}

// A NAT that maps to odd ports breaks the RTP/RTCP pairing peers assume
// (RFC 3550 11); another local port usually gets another mapping.
void LRtpEngine::ResolvePublicAddress()
{
    for (int attempts = 0;;) {
        bool keepAlive = false;
        LRtpPublicAddressQuery query{localIP_,
                                     localPort_,
                                     socket_.GetHandle(),
                                     (uint16_t)LPBXSettings::SipRtpPortBase.Get(),
                                     (uint16_t)LPBXSettings::SipStaticRtpPortBase.Get(),
                                     publicIP_,
                                     publicPort_,
                                     keepAlive};
        if (publicAddress_)
            publicAddress_(query);
        else
            LRtpDefaultPublicAddress(query);
        if ((publicPort_ & 1) == 0)
            return;
        if (!LPBXSettings::SipStun.Get()) {
            LOGWARN("Public RTP port is not an even number (it should be).");
            LOGWARN("Check your Network Settings.");
            return;
        }
        if (++attempts == 20) {
            LOGERROR("Something is wrong with the NAT device");
            LOGERROR("It always assigns'odd' ports which are forbidden for Rtp");
            LOGERROR("Check your NAT or turn off STUN.");
        }
        if (attempts > 100 || !BindEvenPort((uint16_t)(localPort_ + 2)))
            return;
    }
}

void LRtpEngine::InitializeSDP()
{
    session_.Initialize(publicIP_, publicPort_, localIP_, localPort_);
}

void LRtpEngine::CreateOfferSDP(std::string &out, bool sendOnly)
{
    InitializeSDP();
    session_.CreateOfferSDP(out, sendOnly);
}

bool LRtpEngine::CreateAnswerSDP(std::string &out, std::string_view offerText, bool sendOnly)
{
    if (offerText.empty())
        return true;
    InitializeSDP();
    if (!session_.CreateAnswerSDP(out, offerText, sendOnly))
        return false;
    ApplySDP();
    if (IsRunning())
        Restart();
    return true;
}

bool LRtpEngine::ReceiveAnswerSDP(std::string_view answerText)
{
    if (answerText.empty())
        return true;
    if (!session_.ReceiveAnswerSDP(answerText))
        return false;
    ApplySDP();
    if (IsRunning())
        Restart();
    return true;
}

void LRtpEngine::ApplySDP()
{
    audioPayload_.store(session_.GetAudioPayload());
    comfortNoisePayload_.store(session_.GetComfortNoisePayload());
    LSDPMediaDestination destination = session_.GetRemoteDestination();
    remote_.Store(LRtpMakeAddress(destination.valid ? destination.ip : 0, destination.port));
    remoteDirectionActive_.store(session_.GetRemoteDirectionActive());
    remoteHold_.store(session_.GetRemoteHold());
    g72632Payload_.store(session_.GetG72632PayLoadType());
}

void LRtpEngine::Start()
{
    LThread::Start(StartHigh);
    dtmf_.Start(session_.GetTelephoneEventPayload());
}

void LRtpEngine::Stop()
{
    dtmf_.Stop();
    StopThreadNow();
    socket_.Close();
}

void LRtpEngine::Restart()
{
    dtmf_.Stop();
    dtmf_.Start(session_.GetTelephoneEventPayload());
    restartPending_.store(true);
}

LSoundSink LRtpEngine::OpenSoundSink(bool flush)
{
    if (flush)
        sequencer_.FlushSendAudio();
    return LSoundSink(new LRtpSendSinkBase(*this));
}

void LRtpEngine::SetReceiveSink(const LSoundSink &sink)
{
    LLockScope hold(sinkLock_);
    receiveSink_ = sink;
}

uint8_t LRtpEngine::GetTelephoneEventPayLoadType() const
{
    return dtmf_.GetTelephoneEventPayLoadType();
}

void LRtpEngine::SendRtpPacket(const LRtpHeader &header, int length)
{
    LRtpAddress to = remote_.Load();
    if (to.sin_addr.s_addr == 0 || remoteHold_.load())
        return;
    uint32_t now = clock_.Tick();
    socket_.SendPacket(header.data, length, to);
    lastSendTime_.store(now);
    if (LRtpTraceIsEnabled()) {
        char text[22];
        LRtpTraceWrite(
            session_.GetSettings(), "%dms Rtp >>> %s %s %d seq=%d ts=%d ssrc=%d %d bytes\r\n",
            (int)(now % 10000), LRtpFormatAddress(to, text), header.GetMark() ? "Mark" : "    ",
            header.GetPayloadType(), header.ReadSequence(), (int)header.ReadTimeStamp(),
            (int)ntohl(header.GetSSRC()), length - LRtpHeader::kHeaderSize);
    }
}

void LRtpEngine::ReceiveAudio(const int *samples, int count)
{
    {
        LLockScope hold(sinkLock_);
        receiveSink_.Write(samples, count);
    }
    dtmf_.ReceiveAudio(samples, count);
}

void LRtpEngine::HandleTelephoneEvent(const LRtpHeader &packet)
{
    dtmf_.HandleTelephoneEvent(packet);
}
