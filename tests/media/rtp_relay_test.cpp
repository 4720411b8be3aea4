// The relay over loopback with real UDP sockets: forwarding both ways,
// latching, refusal of third parties, keep-alives and the trace; relays
// sharing the exchange's one forwarding loop: a backlog larger than one
// read, and a relay stopped while it is flooded.
#include "media/rtp_relay.h"
#include "media/rtp_relay_trace.h"
#include "media/sdp_address.h"
#include "rtp_packets.h"
#include "rtp_test_support.h"
#include "sdp_fakes.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace
{

NoNameLookups gNames;

LSDPMediaDestination Loopback(uint16_t port, const char *ip = "127.0.0.1")
{
    return LSDPMakeDestination(ip, port, gNames);
}

class RelayTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        relay = std::make_unique<LRtpRelay>(RandomPortBase(), LRtpRelay::kKeepAliveMs, media);
        ASSERT_TRUE(relay->IsBound());
        portA = relay->GetA().GetLocalPrivatePort();
        portB = relay->GetB().GetLocalPrivatePort();
    }
    // The offerer talks to B's port, the answerer to A's; A sends to the
    // offerer unless its SDP named another address.
    void Connect(bool latchOfferer, bool latchAnswerer, const char *sdpHost = "127.0.0.1",
                 int sdpPort = 0)
    {
        relay->Stop();
        relay->GetA().ConnectTo(Loopback(sdpPort ? sdpPort : offerer.Port(), sdpHost),
                                latchOfferer);
        relay->GetB().ConnectTo(Loopback(answerer.Port()), latchAnswerer);
        relay->Start("", 255);
    }
    // Another relay from offerer to answerer, both on loopback, started
    // unless told not to.
    std::unique_ptr<LRtpRelay> Relay(UdpPeer &from, UdpPeer &to, bool start = true,
                                     uint32_t quietMs = LRtpRelay::kKeepAliveMs)
    {
        auto other = std::make_unique<LRtpRelay>(RandomPortBase(), quietMs, media);
        other->GetA().ConnectTo(Loopback(from.Port()), false);
        other->GetB().ConnectTo(Loopback(to.Port()), false);
        other->GetA().ResolvePublicIP();
        other->GetB().ResolvePublicIP();
        if (start)
            other->Start("", 255);
        return other;
    }

    TempSettingsRoot root;
    FixedSdpSettings media;
    std::unique_ptr<LRtpRelay> relay;
    uint16_t portA = 0, portB = 0;
    UdpPeer offerer, answerer;
};

TEST_F(RelayTest, ForwardsBothWaysThroughTheSamePorts)
{
    Connect(false, false);
    for (int i = 0; i < 20; ++i) {
        std::string out = "offer-" + std::to_string(i), back = "answer-" + std::to_string(i);
        ASSERT_TRUE(offerer.SendTo(portB, out));
        std::string got;
        int from = 0;
        ASSERT_TRUE(answerer.Receive(got, 2000, &from));
        EXPECT_EQ(got, out);
        EXPECT_EQ(from, portA); // symmetric: the answerer hears A's port
        ASSERT_TRUE(answerer.SendTo(portA, back));
        ASSERT_TRUE(offerer.Receive(got, 2000, &from));
        EXPECT_EQ(got, back);
        EXPECT_EQ(from, portB);
    }
    EXPECT_EQ(relay->GetForwarded(), 40u);
}

// Latching follows the real source, and later its port change on the same
// host (the NAT in front of the offerer rebinds it); not latching keeps the
// address the SDP names.
TEST_F(RelayTest, LatchingFollowsTheRealSourceAndNotLatchingKeepsTheSdpAddress)
{
    UdpPeer sdpOnly; // the address the offerer's SDP names, never used to send
    for (bool latch : {true, false}) {
        Connect(latch, false, "127.0.0.1", sdpOnly.Port());
        ASSERT_TRUE(offerer.SendTo(portB, "hello"));
        EXPECT_EQ(answerer.ReceiveText(), "hello");
        ASSERT_TRUE(answerer.SendTo(portA, "reply"));
        EXPECT_EQ((latch ? offerer : sdpOnly).ReceiveText(), "reply") << "latch " << latch;
        EXPECT_EQ((latch ? sdpOnly : offerer).ReceiveText(100), "<nothing>") << "latch " << latch;
        if (!latch)
            continue;
        UdpPeer moved;
        ASSERT_TRUE(moved.SendTo(portB, "moved"));
        EXPECT_EQ(answerer.ReceiveText(), "moved");
        ASSERT_TRUE(answerer.SendTo(portA, "to-moved"));
        EXPECT_EQ(moved.ReceiveText(), "to-moved");
        EXPECT_EQ(offerer.ReceiveText(100), "<nothing>");
    }
}

TEST_F(RelayTest, ThirdPartySprayingBothPortsIsDroppedAndStealsNothing)
{
    Connect(true, true);
    ASSERT_TRUE(offerer.SendTo(portB, "o"));
    ASSERT_TRUE(answerer.SendTo(portA, "a"));
    EXPECT_EQ(answerer.ReceiveText(), "o");
    EXPECT_EQ(offerer.ReceiveText(), "a");
    UdpPeer attacker(0, "127.0.0.2");
    for (int i = 0; i < 50; ++i) {
        attacker.SendTo(portA, "spray");
        attacker.SendTo(portB, "spray");
    }
    // The call's own audio still flows to the phones it latched to.
    ASSERT_TRUE(offerer.SendTo(portB, "o2"));
    ASSERT_TRUE(answerer.SendTo(portA, "a2"));
    EXPECT_EQ(answerer.ReceiveText(), "o2");
    EXPECT_EQ(offerer.ReceiveText(), "a2");
    EXPECT_EQ(attacker.ReceiveText(200), "<nothing>");
    EXPECT_EQ(answerer.ReceiveText(50), "<nothing>");
    EXPECT_EQ(offerer.ReceiveText(50), "<nothing>");
    EXPECT_EQ(relay->GetDropped(), 100u);
}

std::string Rtp(uint16_t seq, uint32_t ssrc = 0x11223344)
{
    return RtpPacket(seq, 0, ssrc, 0, "voice");
}

// The first latch: a public SDP address is believed and nobody else is taken;
// without a usable one (none, or private behind a NAT) a source must send a
// run of consecutive RTP packets first, so one stray packet steals nothing.
TEST_F(RelayTest, FirstLatchNeedsTheSdpHostOrARunOfRtp)
{
    UdpPeer stranger(0, "127.0.0.2");
    const struct {
        const char *sdpHost;
        bool latchesAfterRun;
    } cases[] = {{"0.0.0.0", true}, {"10.1.2.3", true}, {"198.51.100.7", false}};
    for (const auto &c : cases) {
        Connect(true, false, c.sdpHost, 4000);
        ASSERT_TRUE(stranger.SendTo(portB, Rtp(500)));
        ASSERT_TRUE(stranger.SendTo(portB, "junk"));
        // Out of order, another SSRC, then a clean run from the offerer.
        for (std::string p : {Rtp(7), Rtp(9), Rtp(10, 1), Rtp(11), Rtp(12), Rtp(13), Rtp(14)})
            ASSERT_TRUE(offerer.SendTo(portB, p));
        // Long enough for a busy relay thread when it latches; a short look
        // when nothing may come.
        std::string forwarded = answerer.ReceiveText(c.latchesAfterRun ? 2000 : 300);
        ASSERT_TRUE(answerer.SendTo(portA, "reply"));
        EXPECT_EQ(stranger.ReceiveText(100), "<nothing>") << c.sdpHost;
        if (c.latchesAfterRun) {
            EXPECT_EQ(forwarded, Rtp(14)) << c.sdpHost;
            EXPECT_EQ(offerer.ReceiveText(), "reply") << c.sdpHost;
        } else {
            EXPECT_EQ(forwarded, "<nothing>") << c.sdpHost;
            EXPECT_EQ(offerer.ReceiveText(100), "<nothing>") << c.sdpHost;
        }
    }
}

TEST_F(RelayTest, TraceWritesOneLinePerForwardedDatagram)
{
    LRtpTraceSetEnabled(true);
    Connect(false, false);
    ASSERT_TRUE(offerer.SendTo(portB, std::string(172, 'x')));
    EXPECT_EQ(answerer.ReceiveText().size(), 172u);
    relay->Stop();
    LRtpTraceSetEnabled(false);
    std::vector<std::string> trace = media.Trace();
    ASSERT_EQ(trace.size(), 1u);
    std::string want = "Rtp Relay 127.0.0.1:" + std::to_string(offerer.Port()) +
                       " >>> 127.0.0.1:" + std::to_string(answerer.Port()) + " (172 bytes)\r\n";
    EXPECT_EQ(trace[0], want);
}

TEST_F(RelayTest, ABacklogOfSeveralReadsIsForwardedWholeAndInOrder)
{
    auto backlogged = Relay(offerer, answerer, false);
    const int count = 3 * LRtpRelayBatch::kSize + 1;
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(offerer.SendTo(backlogged->GetB().GetBoundPort(), "p" + std::to_string(i)));
    backlogged->Start("", 255);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(answerer.ReceiveText(), "p" + std::to_string(i));
}

// Stop returns while the loop is busy with the relay, nothing is forwarded
// for it afterwards, even once a new relay reuses its place in the loop, and
// the other calls on the loop go on.
TEST_F(RelayTest, StoppingAFloodedRelayLeavesTheOthersAndForwardsNothingMore)
{
    UdpPeer flooder, floodSink;
    auto flooded = Relay(flooder, floodSink);
    auto quiet = Relay(offerer, answerer);
    std::atomic<bool> flooding{true};
    std::thread flood([&] {
        while (flooding.load())
            flooder.SendTo(flooded->GetB().GetBoundPort(), std::string(172, 'f'));
    });
    EXPECT_TRUE(vtest::WaitUntil([&] { return flooded->GetForwarded() > 200; }));
    flooded->Stop();
    uint64_t forwarded = flooded->GetForwarded();
    auto next = Relay(offerer, answerer);
    for (LRtpRelay *other : {quiet.get(), next.get()}) {
        ASSERT_TRUE(offerer.SendTo(other->GetB().GetBoundPort(), "still"));
        EXPECT_EQ(answerer.ReceiveText(), "still");
    }
    flooding = false;
    flood.join();
    EXPECT_EQ(flooded->GetForwarded(), forwarded);
    EXPECT_EQ(media.GetRelayLoop().GetClientCount(), 2);
}

// Each relay keeps its own quiet time although a thread serves several: a
// short one joining a thread that waits for long ones is still kept alive.
// Where no NAT needs it (a public address), nothing is sent at all. Quiet
// times run on the media context's clock, here moved by the test.
TEST_F(RelayTest, EachRelayOnASharedThreadKeepsItsOwnQuietTime)
{
    bool needed = true;
    media.publicAddress = [&needed](LRtpPublicAddressQuery &query) {
        LRtpDefaultPublicAddress(query);
        query.keepAlive = needed;
    };
    const std::string keepAlive(4, '\0');
    const uint32_t longMs = 10 * LRtpRelay::kKeepAliveMs;
    UdpPeer longO1, longA1, longO2, longA2, publicO, publicA;
    auto long1 = Relay(longO1, longA1, true, longMs), long2 = Relay(longO2, longA2, true, longMs);
    auto quick = Relay(offerer, answerer);
    needed = false;
    auto unneeded = Relay(publicO, publicA);
    for (int i = 0; i < 3; ++i) { // one at start, then one per quiet time
        EXPECT_EQ(offerer.ReceiveText(), keepAlive);
        EXPECT_EQ(answerer.ReceiveText(), keepAlive);
        EXPECT_EQ(offerer.ReceiveText(0), "<nothing>");
        media.clock.Advance(LRtpRelay::kKeepAliveMs);
    }
    for (UdpPeer *peer : {&longO1, &longA1, &longO2, &longA2}) {
        EXPECT_EQ(peer->ReceiveText(), keepAlive);
        EXPECT_EQ(peer->ReceiveText(0), "<nothing>");
    }
    EXPECT_EQ(publicO.ReceiveText(0), "<nothing>");
    EXPECT_EQ(publicA.ReceiveText(0), "<nothing>");
}

} // namespace
