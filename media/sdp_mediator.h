// SDP mediation of one bridged call: decides per offer and answer whether the
// audio runs through the call's RTP relay, and rewrites the SDP to match.
// Used by the call thread only; retired relays go to the media context's
// releaser.
#pragma once

#include "media/sdp_mediator_data.h"
#include "media/sdp_relay.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class LSDPMediator
{
  public:
    // A retired relay keeps its ports this long, so that late packets of
    // the old stream do not reach whoever takes the ports next.
    static constexpr unsigned kRelayReleaseDelayMs = 10000;

    explicit LSDPMediator(LSDPMediatorHost &host, unsigned releaseDelayMs = kRelayReleaseDelayMs);
    ~LSDPMediator();
    LSDPMediator(const LSDPMediator &) = delete;
    LSDPMediator &operator=(const LSDPMediator &) = delete;

    // Before each call set-up: Reset, SetRecorder, then at most one of
    // SetForceRelayBothWays and SetRelayNotRequired.
    void Reset();
    void SetRecorder(std::string_view fileName);
    bool IsRecorder() const { return !recorderFile_.empty(); }
    void SetForceRelayBothWays() { forceRelay_ = true; }
    void SetRelayNotRequired() { relayNotRequired_ = true; }

    // An INVITE's SDP (if any) becomes the held offer.
    void ReceiveInviteSDP(const LSDPMessageInfo &invite, bool destinationPublic);
    // The held offer as rewritten for one target; empty when none is held.
    std::string RewriteInviteSDP(bool toPrivate, bool oddRtpDisabled);
    // A 200 OK carries the offer when the INVITE had none, else the answer.
    std::string RewriteOkSDP(const LSDPMessageInfo &ok, bool answererPublic, bool destinationPublic,
                             bool oddRtpDisabled);
    // The answer to an offer made in a 200 OK.
    std::string RewriteAckSDP(const LSDPMessageInfo &ack, bool answererPublic, bool oddRtpDisabled);

    void ProcessOffer(std::string_view offerText, std::string_view sourceHost,
                      bool destinationPublic);
    // Only the first answer after Reset counts; later ones give empty text.
    std::string ProcessAnswer(std::string_view answerText, std::string_view sourceHost,
                              bool answererPublic, bool oddRtpDisabled);

    bool IsReattemptWithRelayRequired() const;
    bool HasOffer() const { return data_ != nullptr; }
    bool HasRelay() const { return relay_ != nullptr; }
    bool HasDyingRelay();

    // Stops the current relay's forwarding now and frees its ports after
    // the release delay, or when the mediator goes or retires the next
    // relay, whichever comes first.
    void KillRelayIn10Seconds();

  private:
    LSDPMediatorHost &host_;
    const unsigned releaseDelayMs_;
    std::string recorderFile_;
    bool forceRelay_ = false;
    bool relayNotRequired_ = false;
    bool answerProcessed_ = false;
    std::unique_ptr<LSDPRelay> relay_;
    std::unique_ptr<LSDPMediatorData> data_;
    uint64_t dyingRelay_ = 0; // the releaser's ticket
};
