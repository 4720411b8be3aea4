// Arbitrary bodies through the SDP decoder, the rewriter and our own
// endpoint's negotiation: none may crash, and a rewrite must decode again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "media/rtp_relay_loop.h"
#include "media/sdp.h"
#include "media/sdp_decoder.h"
#include "media/sdp_relay_releaser.h"
#include "media/sdp_rewrite.h"
#include "media/sdp_session.h"

namespace
{
// Only dotted addresses resolve: a fuzz run never waits on DNS.
struct FixedSdpSettings : LSDPSettings, LSDPHostResolver {
    bool ResolveHostName(const std::string &, uint32_t &) override { return false; }
    LSDPHostResolver &GetHostResolver() override { return *this; }
    void ResolvePublicAddress(LRtpPublicAddressQuery &) override {}
    void WriteRtpTrace(const char *) override {}
    LRtpHeldPorts &GetHeldPorts() override { return held; }
    LRtpHeldPorts held;
    LRtpRelayLoop &GetRelayLoop() override { return relayLoop; }
    LSystemClock clock;
    LRtpRelayLoop relayLoop{clock};
    LSDPRelayReleaser &GetRelayReleaser() override { return releaser; }
    LSDPRelayReleaser releaser{clock};
    int GetQuality() override { return 50; }
    bool GetActive() override { return false; }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);

    LSDP sdp(text);
    std::string saved;
    sdp.Save(saved);
    // Saving normalises; loading the result again must be a fixed point.
    LSDP again(saved);
    std::string resaved;
    again.Save(resaved);
    if (resaved != saved)
        abort();

    LSDPDecoder decoder(sdp);
    decoder.GetRtpMap("telephone-event", 101);
    LSDPRewrite(sdp, decoder, "203.0.113.5", 8000, true, "192.168.1.2", 8002, "203.0.113.5",
                size % 2 == 0);
    sdp.Save(saved);
    if (LSDPDecoder(saved).GetRemoteHost().size() > 259)
        abort();

    FixedSdpSettings settings;
    LSDPSession session(settings);
    session.Initialize("203.0.113.5", 8000, "192.168.1.2", 8000);
    std::string answer;
    if (session.CreateAnswerSDP(answer, text, false) &&
        session.GetAudioPayload() == LSDPSession::kNoPayload)
        abort();
    return 0;
}
