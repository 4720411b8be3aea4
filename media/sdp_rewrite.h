// Rewrites a bridged call's SDP so that the receiver sends its media to the
// address the exchange chose (the other phone, or a port of the call's relay).
#pragma once

#include "media/sdp.h"
#include "media/sdp_decoder.h"

#include <cstdint>
#include <string_view>

// Rewrites sdp in place: every "c" line gets address, the audio "m" line gets
// port (and with filterCodecs only the payload types the call recorder can
// decode, plus comfort noise and telephone events); earlier "a=direction:",
// "a=local:" and "a=domain:" lines are replaced by the ones given here.
// decoder must hold the decoded form of sdp. The caller saves sdp to text.
void LSDPRewrite(LSDP &sdp, const LSDPDecoder &decoder, std::string_view address, uint16_t port,
                 bool directionActive, std::string_view privateAddress, uint16_t privatePort,
                 std::string_view domain, bool filterCodecs);

// Convenience for the mediator: decode text, rewrite, save.
std::string LSDPRewriteText(std::string_view text, std::string_view address, uint16_t port,
                            bool directionActive, std::string_view privateAddress,
                            uint16_t privatePort, std::string_view domain, bool filterCodecs);
