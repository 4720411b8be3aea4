#include "media/sdp_mediator_data.h"

#include "media/sdp_address.h"
#include "media/sdp_rewrite.h"
#include "platform/log.h"

static void PointAt(LSDPRelayConnection &connection, const LSDPEndpoint &endpoint,
                    LSDPHostResolver &resolver)
{
    connection.ConnectTo(LSDPMakeDestination(endpoint.address, endpoint.port, resolver),
                         endpoint.latch);
}

// A relay's public address is only worth announcing when it is one: a
// failed look-up reads as 0.0.0.0, which the plain public test would accept.
bool LSDPIsUsablePublicIP(std::string_view host, LSDPHostResolver &resolver)
{
    uint32_t ip = 0;
    return LSDPResolveHost(host, ip, resolver) && ip != 0 && !LSDPIsPrivateIP(ip);
}

bool LSDPIsOddPort(uint16_t port)
{
    return (port & 1) != 0;
}

LSDPMediatorData::LSDPMediatorData(LSDPMediatorHost &host, std::string_view offerText,
                                   std::string_view sourceHost, const LSDPOfferOptions &options,
                                   LSDPRelay *relay)
    : host_(host), offerText_(offerText), offer_(offerText), relay_(relay), options_(options)
{
    options_.relayNotRequired = options.relayNotRequired && !options.recording;
    g72632Payload_ = offer_.GetRtpMap("G726-32", 255);
    offerer_ = LSDPClassifyEndpoint(offer_, sourceHost, host_.GetPublicIP(), false, Resolver());
    if (relay_ != nullptr) {
        PointAt(relay_->GetConnectionA(), offerer_, Resolver());
        if (options.destinationPublic)
            relay_->GetConnectionA().ResolvePublicIP();
    }
}

bool LSDPMediatorData::RelayAvailable(bool wanted) const
{
    if (wanted && relay_ == nullptr)
        LOGERROR("SDP: relay needed but none could be made; media passes unrelayed");
    return wanted && relay_ != nullptr;
}

std::string LSDPMediatorData::RewriteToPrivateRelay(std::string_view text,
                                                    LSDPRelayConnection &connection)
{
    const std::string ip = connection.GetLocalPrivateIP();
    const uint16_t port = connection.GetLocalPrivatePort();
    return LSDPRewriteText(text, ip, port, false, "", 0, "", options_.recording);
}

std::string LSDPMediatorData::RewriteToPublicRelay(std::string_view text,
                                                   LSDPRelayConnection &connection)
{
    // The private port is read (and so handed out) before the public address
    // is resolved, which may map it on the NAT router.
    const std::string privateIP = connection.GetLocalPrivateIP();
    const uint16_t privatePort = connection.GetLocalPrivatePort();
    const std::string publicIP = connection.GetLocalPublicIP();
    const uint16_t publicPort = connection.GetLocalPublicPort();
    return LSDPRewriteText(text, publicIP, publicPort, host_.GetSdpSettings().GetActive(),
                           privateIP, privatePort, host_.GetPublicIP(), options_.recording);
}

std::string LSDPMediatorData::RewriteSDPOffer(bool toPrivate, bool oddRtpDisabled)
{
    if (cachedOffer_ && cachedOffer_->toPrivate == toPrivate &&
        cachedOffer_->oddRtpDisabled == oddRtpDisabled)
        return cachedOffer_->text;
    std::string result = MakeOfferRewrite(toPrivate, oddRtpDisabled);
    cachedOffer_ = CachedOffer{toPrivate, oddRtpDisabled, result};
    return result;
}

std::string LSDPMediatorData::MakeOfferRewrite(bool toPrivate, bool oddRtpDisabled)
{
    if (options_.relayNotRequired)
        return offerText_;
    bool useRelay = options_.recording ||
                    (oddRtpDisabled && LSDPIsOddPort(offer_.GetRemoteRTPAudioPort())) ||
                    offerer_.nated || options_.forceRelay;
    if (toPrivate) {
        if (offerer_.behindOurNAT && !useRelay) {
            if (!offer_.GetRemoteHostPrivate().empty())
                return LSDPRewriteText(offerText_, offer_.GetRemoteHostPrivate(),
                                       offer_.GetRemoteRTPAudioPortPrivate(), false, "", 0, "",
                                       false);
            useRelay = true;
        }
        if (!RelayAvailable(useRelay))
            return offerText_;
        relayedToPrivate_ = true;
        return RewriteToPrivateRelay(offerText_, relay_->GetConnectionA());
    }
    if (RelayAvailable(useRelay)) {
        relayedToPublic_ = true;
        return RewriteToPublicRelay(offerText_, relay_->GetConnectionA());
    }
    if (relay_ != nullptr && offerer_.isPrivate && !offerer_.behindOurNAT) {
        LSDPRelayConnection &a = relay_->GetConnectionA();
        const std::string publicIP = a.GetLocalPublicIP();
        if (LSDPIsUsablePublicIP(publicIP, Resolver())) {
            relayedToPublic_ = true;
            return LSDPRewriteText(offerText_, publicIP, a.GetLocalPublicPort(), true,
                                   offer_.GetRemoteHost(), offer_.GetRemoteRTPAudioPort(),
                                   host_.GetPublicIP(), false);
        }
    }
    return offerText_;
}
