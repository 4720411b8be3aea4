// The state of one SDP offer in a bridged call, and the rewriting of that
// offer for each target and of the answer that comes back.
#pragma once

#include "media/sdp_decoder.h"
#include "media/sdp_endpoint.h"
#include "media/sdp_relay.h"
#include "media/sdp_settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

bool LSDPIsUsablePublicIP(std::string_view host, LSDPHostResolver &resolver);
bool LSDPIsOddPort(uint16_t port);

struct LSDPOfferOptions {
    bool destinationPublic = false; // some target is reached over the public network
    bool forceRelay = false;
    bool relayNotRequired = false;
    bool recording = false;
};

class LSDPMediatorData
{
  public:
    // relay may be nullptr (no free ports): the SDP then passes unrelayed.
    // Points the relay's connection A at the offerer.
    LSDPMediatorData(LSDPMediatorHost &host, std::string_view offerText,
                     std::string_view sourceHost, const LSDPOfferOptions &options,
                     LSDPRelay *relay);

    // The offer as it should reach one target. Cached per flag pair.
    std::string RewriteSDPOffer(bool toPrivate, bool oddRtpDisabled);
    // The answer as it should reach the offerer; relayUsed tells whether
    // media must run through the relay. Points connection B at the answerer.
    std::string RewriteSDPAnswer(std::string_view answerText, std::string_view sourceHost,
                                 bool answererPublic, bool oddRtpDisabled, bool &relayUsed);

    // The relay was retired: later rewrites must not reach it.
    void DetachRelay() { relay_ = nullptr; }
    uint8_t GetG72632Codec() const { return g72632Payload_; }
    bool IsReattemptWithRelayRequired() const { return reattemptWithRelay_; }
    const LSDPEndpoint &GetOfferer() const { return offerer_; }
    bool IsOfferRelayedToPrivateSide() const { return relayedToPrivate_; }
    bool IsOfferRelayedToPublicSide() const { return relayedToPublic_; }

  private:
    LSDPHostResolver &Resolver() { return host_.GetSdpSettings().GetHostResolver(); }
    struct CachedOffer {
        bool toPrivate, oddRtpDisabled;
        std::string text;
    };

    std::string MakeOfferRewrite(bool toPrivate, bool oddRtpDisabled);
    std::string RewriteAnswerForPrivateOfferer(std::string_view answerText,
                                               const LSDPDecoder &answer,
                                               const LSDPEndpoint &answerer, bool useRelay,
                                               bool &relayUsed);
    std::string RewriteToPrivateRelay(std::string_view text, LSDPRelayConnection &connection);
    std::string RewriteToPublicRelay(std::string_view text, LSDPRelayConnection &connection);
    bool RelayAvailable(bool wanted) const;

    LSDPMediatorHost &host_;
    std::string offerText_;
    LSDPDecoder offer_;
    LSDPRelay *relay_;
    LSDPOfferOptions options_;
    LSDPEndpoint offerer_;
    bool relayedToPrivate_ = false;
    bool relayedToPublic_ = false;
    uint8_t g72632Payload_;
    std::optional<CachedOffer> cachedOffer_;
    bool reattemptWithRelay_ = false;
};
