#include "media/sdp_session.h"

#include <cstdio>
#include <ctime>

#include "media/sdp_decoder.h"
#include "media/sdp_text.h"

std::atomic<uint32_t> LSDPSession::uNextLocalSessionID{uint32_t(time(nullptr))};

static const char kOfferLowBandwidth[] =
    " 3 96 0 8 13 101\r\na=rtpmap:3 GSM/8000\r\na=rtpmap:96 G726-32/8000\r\n"
    "a=rtpmap:0 PCMU/8000\r\na=rtpmap:8 PCMA/8000\r\na=rtpmap:13 CN/8000\r\n"
    "a=rtpmap:101 telephone-event/8000\r\na=fmtp:101 0-16\r\n";
static const char kOfferQuality[] =
    " 0 8 96 3 13 101\r\na=rtpmap:0 PCMU/8000\r\na=rtpmap:8 PCMA/8000\r\n"
    "a=rtpmap:96 G726-32/8000\r\na=rtpmap:3 GSM/8000\r\na=rtpmap:13 CN/8000\r\n"
    "a=rtpmap:101 telephone-event/8000\r\na=fmtp:101 0-16\r\n";

LSDPSession::LSDPSession(LSDPSettings &settings)
    : settings_(settings), sessionID_(uNextLocalSessionID++), sessionVersion_(sessionID_)
{
    Clear();
}

void LSDPSession::Clear()
{
    publicIP_.clear();
    privateIP_.clear();
    remoteRTPHost_.clear();
    publicPort_ = privatePort_ = remoteRTPAudioPort_ = 0;
    remoteDirectionActive_ = remoteHold_ = false;
    audioPayload_ = comfortNoisePayload_ = telephoneEventPayload_ = g72632Payload_ = kNoPayload;
}

void LSDPSession::Initialize(std::string_view publicIP, uint16_t publicPort,
                             std::string_view privateIP, uint16_t privatePort)
{
    ++sessionVersion_;
    Clear();
    publicIP_ = LSDPFieldText(publicIP);
    publicPort_ = publicPort;
    privateIP_ = LSDPFieldText(privateIP);
    privatePort_ = privatePort;
}

LSDPMediaDestination LSDPSession::GetRemoteDestination() const
{
    return LSDPMakeDestination(remoteRTPHost_, remoteRTPAudioPort_, settings_.GetHostResolver());
}

void LSDPSession::CreateSDP(std::string &out, std::string_view mediaBlock, const Flags &flags)
{
    ++sessionVersion_;
    const std::string &address = flags.isPrivate ? privateIP_ : publicIP_;
    const unsigned port = flags.isPrivate ? privatePort_ : publicPort_;
    char head[1024];
    snprintf(head, sizeof head,
             "v=0\r\no=ORVSoftware-Vela %u %u IN IP4 %s\r\ns=Vela Call\r\nc=IN IP4 %s\r\nt=0 "
             "0\r\nm=audio %u RTP/AVP",
             sessionID_, sessionVersion_, publicIP_.c_str(), address.c_str(), port);
    out = head;
    out += mediaBlock;
    out += flags.sendOnly ? "a=sendonly\r\n" : "a=sendrecv\r\n";
    if (settings_.GetActive() && !flags.suppressActive)
        out += "a=direction:active\r\n";
    if (publicIP_ != privateIP_ && !flags.suppressLocal) {
        snprintf(head, sizeof head, "a=local:%s %u\r\na=domain:%s\r\n", privateIP_.c_str(),
                 unsigned(privatePort_), publicIP_.c_str());
        out += head;
    }
}

void LSDPSession::CreateOfferSDP(std::string &out, bool sendOnly)
{
    Flags flags;
    flags.sendOnly = sendOnly;
    CreateSDP(out, settings_.PrefersLowBandwidth() ? kOfferLowBandwidth : kOfferQuality, flags);
}

void LSDPSession::CreateDefaultSDP(LSDPSettings &settings, std::string &out)
{
    LSDPSession session(settings);
    session.CreateOfferSDP(out, false);
}

bool LSDPSession::CreateAnswerSDP(std::string &out, std::string_view offerText, bool sendOnly)
{
    return CreateNegotiatedSDP(out, offerText, sendOnly);
}

bool LSDPSession::ReceiveAnswerSDP(std::string_view answerText)
{
    std::string dropped;
    return CreateNegotiatedSDP(dropped, answerText, false);
}
