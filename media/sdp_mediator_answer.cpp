// Rewriting the answer to an offer held by LSDPMediatorData.
#include "media/sdp_mediator_data.h"
#include "media/sdp_rewrite.h"
#include "media/sdp_settings.h"

std::string LSDPMediatorData::RewriteSDPAnswer(std::string_view answerText,
                                               std::string_view sourceHost, bool answererPublic,
                                               bool oddRtpDisabled, bool &relayUsed)
{
    relayUsed = (relayedToPublic_ && answererPublic) || (relayedToPrivate_ && !answererPublic);
    LSDPDecoder answer(answerText);
    std::string result(answerText);
    reattemptWithRelay_ = false;
    if (!options_.relayNotRequired) {
        const LSDPEndpoint answerer =
            LSDPClassifyEndpoint(answer, sourceHost, host_.GetPublicIP(), true, Resolver());
        if (relay_ != nullptr)
            relay_->GetConnectionB().ConnectTo(
                LSDPMakeDestination(answerer.address, answerer.port, Resolver()), answerer.latch);
        if (answerer.nated && !relayUsed)
            reattemptWithRelay_ = true;
        bool useRelay = options_.recording ||
                        (oddRtpDisabled && LSDPIsOddPort(answer.GetRemoteRTPAudioPort())) ||
                        answerer.nated || relayUsed;
        if (offerer_.isPrivate) {
            result =
                RewriteAnswerForPrivateOfferer(answerText, answer, answerer, useRelay, relayUsed);
        } else if (RelayAvailable(useRelay)) {
            relay_->GetConnectionB().ResolvePublicIP();
            relayUsed = true;
            result = RewriteToPublicRelay(answerText, relay_->GetConnectionB());
        } else if (relay_ != nullptr && answerer.isPrivate && !answerer.behindOurNAT) {
            LSDPRelayConnection &b = relay_->GetConnectionB();
            const std::string publicIP = b.GetLocalPublicIP();
            if (LSDPIsUsablePublicIP(publicIP, Resolver())) {
                relayUsed = true;
                result = LSDPRewriteText(answerText, publicIP, b.GetLocalPublicPort(), true,
                                         answer.GetRemoteHost(), answer.GetRemoteRTPAudioPort(),
                                         host_.GetPublicIP(), false);
            }
        }
    }
    if (relay_ == nullptr)
        relayUsed = false;
    cachedOffer_.reset();
    return result;
}

std::string LSDPMediatorData::RewriteAnswerForPrivateOfferer(std::string_view answerText,
                                                             const LSDPDecoder &answer,
                                                             const LSDPEndpoint &answerer,
                                                             bool useRelay, bool &relayUsed)
{
    if (answerer.behindOurNAT && !useRelay) {
        if (!answer.GetRemoteHostPrivate().empty())
            return LSDPRewriteText(answerText, answer.GetRemoteHostPrivate(),
                                   answer.GetRemoteRTPAudioPortPrivate(), false, "", 0, "", false);
        useRelay = true;
    }
    if (!RelayAvailable(useRelay))
        return std::string(answerText);
    if (answerer.isPrivate && !relayUsed)
        reattemptWithRelay_ = true;
    relayUsed = true;
    return RewriteToPrivateRelay(answerText, relay_->GetConnectionB());
}
