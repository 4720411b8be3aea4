// A recorded call end to end: two phones stream PCMU through the relay and
// the test recording server receives the mix of both directions.
#include "media/rtp_relay.h"
#include "media/sdp_address.h"
#include "platform/tick.h"
#include "recorder_test_audio.h"
#include "recorder_test_server.h"
#include "rtp_test_support.h"
#include "sdp_fakes.h"

#include <gtest/gtest.h>

namespace
{

TEST(RecordedCall, ServerGetsTheMixOfBothDirectionsForTheCallsLength)
{
    TempSettingsRoot root;
    RecordingServer server;
    LSettingSetString("Recorder", "TallyHost", server.Entry().c_str());
    LSettingSetString("Recorder", "TallyAccessCode", "code");
    UdpPeer offerer, answerer;
    std::vector<int> expectedMix;
    const int packets = 50; // one second each way
    {
        LRtpRecord reference(LSoundSink(new CaptureSink(expectedMix)), 255);
        FixedSdpSettings media;
        LRtpRelay relay(RandomPortBase(), LRtpRelay::kKeepAliveMs, media);
        ASSERT_TRUE(relay.IsBound());
        uint16_t portA = relay.GetA().GetBoundPort(), portB = relay.GetB().GetBoundPort();
        relay.GetA().ConnectTo(LSDPMakeDestination("127.0.0.1", offerer.Port(), media.names), true);
        relay.GetB().ConnectTo(LSDPMakeDestination("127.0.0.1", answerer.Port(), media.names),
                               true);
        relay.Start("calls/17.wav", 255);
        for (int i = 0; i < packets; ++i) {
            // Each datagram is awaited before the next goes, so the relay's
            // recorder sees them in the order the reference does.
            std::string fromOfferer = RtpPacket(0, Ulaw(Tone(160, 440, 5000, i * 160)), i);
            ASSERT_TRUE(offerer.SendTo(portB, fromOfferer));
            ASSERT_EQ(answerer.ReceiveText(), fromOfferer);
            reference.WriteRtpPacket(ToHeader(fromOfferer), false);
            std::string fromAnswerer = RtpPacket(0, Ulaw(Tone(160, 700, 5000, i * 160)), i);
            ASSERT_TRUE(answerer.SendTo(portA, fromAnswerer));
            ASSERT_EQ(offerer.ReceiveText(), fromAnswerer);
            reference.WriteRtpPacket(ToHeader(fromAnswerer), true);
        }
        // A call that ends while the client is still connecting is not
        // recorded; this one lasts until the server has heard from it.
        uint64_t until = LMonotonicMs() + 5000;
        while (server.FramesSoFar() == 0 && LMonotonicMs() < until)
            usleep(2000);
    }
    ASSERT_TRUE(server.WaitClosed(1, 5000));
    RecordingReceived r = server.Get(0);
    EXPECT_EQ(r.fileName, "calls/17.wav");
    EXPECT_EQ(r.logon.substr(0, 6), std::string("\x1b\0code", 6));
    EXPECT_FALSE(r.badPacket);
    // One second of call: 50 frames, within one frame.
    EXPECT_NEAR((int)r.frames.size(), packets, 1);
    std::vector<int> heard = RecordingServer::Decode(r.frames);
    std::vector<int> wanted = GsmRoundTrip(expectedMix);
    ASSERT_EQ(heard.size(), wanted.size());
    EXPECT_EQ(heard, wanted);
}

} // namespace
