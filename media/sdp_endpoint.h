// Where an SDP endpoint sits relative to the exchange, judged from its SDP
// and from the address its SIP message came from.
#pragma once

#include "media/sdp_address.h"
#include "media/sdp_decoder.h"

#include <cstdint>
#include <string>
#include <string_view>

struct LSDPEndpoint {
    std::string address; // where its media should go
    uint16_t port = 0;
    bool latch = false;        // answer it at the source of its packets
    bool isPrivate = false;    // reached over the LAN
    bool nated = false;        // private SDP address, public signalling address
    bool behindOurNAT = false; // shares the exchange's own public address
};

// isAnswer: an answerer behind our NAT always counts as private; an offerer
// only when it gave no "a=local" address.
LSDPEndpoint LSDPClassifyEndpoint(const LSDPDecoder &sdp, std::string_view sourceHost,
                                  std::string_view publicIP, bool isAnswer,
                                  LSDPHostResolver &resolver);
