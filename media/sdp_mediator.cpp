#include "media/sdp_mediator.h"

#include "media/sdp_relay_releaser.h"
#include "platform/log.h"

LSDPMediator::LSDPMediator(LSDPMediatorHost &host, unsigned releaseDelayMs)
    : host_(host), releaseDelayMs_(releaseDelayMs)
{
}

LSDPMediator::~LSDPMediator()
{
    host_.GetSdpSettings().GetRelayReleaser().ReleaseNow(dyingRelay_);
    data_.reset();
    relay_.reset();
}

void LSDPMediator::Reset()
{
    recorderFile_.clear();
    forceRelay_ = relayNotRequired_ = answerProcessed_ = false;
    data_.reset();
    KillRelayIn10Seconds();
}

void LSDPMediator::SetRecorder(std::string_view fileName)
{
    recorderFile_ = std::string(fileName.substr(0, 259));
}

void LSDPMediator::ReceiveInviteSDP(const LSDPMessageInfo &invite, bool destinationPublic)
{
    if (!invite.sdpBody.empty())
        ProcessOffer(invite.sdpBody, invite.sourceHost, destinationPublic);
}

std::string LSDPMediator::RewriteInviteSDP(bool toPrivate, bool oddRtpDisabled)
{
    if (data_ == nullptr)
        return std::string();
    return data_->RewriteSDPOffer(toPrivate, oddRtpDisabled);
}

std::string LSDPMediator::RewriteOkSDP(const LSDPMessageInfo &ok, bool answererPublic,
                                       bool destinationPublic, bool oddRtpDisabled)
{
    if (data_ == nullptr) {
        if (ok.sdpBody.empty())
            return std::string();
        ProcessOffer(ok.sdpBody, ok.sourceHost, destinationPublic);
        return data_->RewriteSDPOffer(!destinationPublic, oddRtpDisabled);
    }
    return ProcessAnswer(ok.sdpBody, ok.sourceHost, answererPublic, oddRtpDisabled);
}

std::string LSDPMediator::RewriteAckSDP(const LSDPMessageInfo &ack, bool answererPublic,
                                        bool oddRtpDisabled)
{
    return ProcessAnswer(ack.sdpBody, ack.sourceHost, answererPublic, oddRtpDisabled);
}

void LSDPMediator::ProcessOffer(std::string_view offerText, std::string_view sourceHost,
                                bool destinationPublic)
{
    // The previous offer's relay was never started for this offer's media:
    // destroy it now rather than keep its ports.
    data_.reset();
    relay_ = host_.CreateRelay();
    if (relay_ == nullptr)
        LOGERROR("SDP: no RTP relay ports available for the offer");
    LSDPOfferOptions options;
    options.destinationPublic = destinationPublic;
    options.forceRelay = forceRelay_;
    options.relayNotRequired = relayNotRequired_;
    options.recording = IsRecorder();
    data_ = std::make_unique<LSDPMediatorData>(host_, offerText, sourceHost, options, relay_.get());
}

std::string LSDPMediator::ProcessAnswer(std::string_view answerText, std::string_view sourceHost,
                                        bool answererPublic, bool oddRtpDisabled)
{
    if (answerProcessed_)
        return std::string();
    answerProcessed_ = true;
    // An answer without a body answers nothing; leave the relay reserved.
    if (data_ == nullptr || answerText.empty())
        return std::string();
    bool relayUsed = false;
    std::string result =
        data_->RewriteSDPAnswer(answerText, sourceHost, answererPublic, oddRtpDisabled, relayUsed);
    if (relayUsed && relay_ != nullptr)
        relay_->Start(recorderFile_, data_->GetG72632Codec());
    else
        KillRelayIn10Seconds();
    return result;
}

bool LSDPMediator::IsReattemptWithRelayRequired() const
{
    return data_ != nullptr && data_->IsReattemptWithRelayRequired();
}

bool LSDPMediator::HasDyingRelay()
{
    return dyingRelay_ != 0 && host_.GetSdpSettings().GetRelayReleaser().IsHeld(dyingRelay_);
}

void LSDPMediator::KillRelayIn10Seconds()
{
    // One relay in waiting per call: the one before goes now.
    LSDPRelayReleaser &releaser = host_.GetSdpSettings().GetRelayReleaser();
    releaser.ReleaseNow(dyingRelay_);
    dyingRelay_ = 0;
    if (relay_ == nullptr)
        return;
    relay_->Stop();
    if (data_ != nullptr)
        data_->DetachRelay();
    dyingRelay_ = releaser.Retire(std::move(relay_), releaseDelayMs_);
}
