#include "media/sdp_endpoint.h"

#include "media/sdp_address.h"

LSDPEndpoint LSDPClassifyEndpoint(const LSDPDecoder &sdp, std::string_view sourceHost,
                                  std::string_view publicIP, bool isAnswer,
                                  LSDPHostResolver &resolver)
{
    LSDPEndpoint endpoint;
    endpoint.address = sdp.GetRemoteHost();
    endpoint.port = sdp.GetRemoteRTPAudioPort();
    endpoint.latch = sdp.GetRemoteDirectionActive();
    endpoint.isPrivate = LSDPIsPrivateHost(endpoint.address, resolver);
    endpoint.nated = endpoint.isPrivate && LSDPIsPublicHost(sourceHost, resolver);
    if (endpoint.nated) {
        endpoint.isPrivate = false;
        endpoint.latch = true;
    }
    // An unknown public address must not match an SDP that has no "c=" or
    // "a=domain:" line: both would be empty.
    const bool ours = !publicIP.empty() && (endpoint.address == publicIP ||
                                            sdp.GetRemoteHostPrivateDomain() == publicIP);
    if (!endpoint.isPrivate && !endpoint.nated && ours) {
        endpoint.behindOurNAT = true;
        const bool hasLocal = !sdp.GetRemoteHostPrivate().empty();
        if (hasLocal) {
            endpoint.address = sdp.GetRemoteHostPrivate();
            endpoint.port = sdp.GetRemoteRTPAudioPortPrivate();
            endpoint.latch = false;
        } else {
            endpoint.latch = true;
        }
        endpoint.isPrivate = isAnswer || !hasLocal;
    }
    return endpoint;
}
