// Relays sharing the exchange's one forwarding loop: a backlog larger than
// one read, and a relay stopped while it is flooded.
#include "media/rtp_relay.h"
#include "rtp_test_support.h"
#include "sdp_fakes.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace
{

struct LoopTest : ::testing::Test {
    // A started relay from offerer to answerer, both on loopback.
    std::unique_ptr<LRtpRelay> Relay(UdpPeer &offerer, UdpPeer &answerer, bool start = true,
                                     uint32_t quietMs = LRtpRelay::kKeepAliveMs)
    {
        auto relay = std::make_unique<LRtpRelay>(RandomPortBase(), quietMs, media);
        relay->GetA().ConnectTo(LSDPMakeDestination("127.0.0.1", offerer.Port(), names), false);
        relay->GetB().ConnectTo(LSDPMakeDestination("127.0.0.1", answerer.Port(), names), false);
        relay->GetA().ResolvePublicIP();
        relay->GetB().ResolvePublicIP();
        if (start)
            relay->Start("", 255);
        return relay;
    }
    TempSettingsRoot root;
    NoNameLookups names;
    FixedSdpSettings media;
    UdpPeer offerer, answerer;
};

TEST_F(LoopTest, ABacklogOfSeveralReadsIsForwardedWholeAndInOrder)
{
    auto relay = Relay(offerer, answerer, false);
    const int count = 3 * LRtpRelayBatch::kSize + 1;
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(offerer.SendTo(relay->GetB().GetBoundPort(), "p" + std::to_string(i)));
    relay->Start("", 255);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(answerer.ReceiveText(), "p" + std::to_string(i));
}

// Stop returns while the loop is busy with the relay, nothing is forwarded
// for it afterwards, even once a new relay reuses its place in the loop, and
// the other calls on the loop go on.
TEST_F(LoopTest, StoppingAFloodedRelayLeavesTheOthersAndForwardsNothingMore)
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
    for (LRtpRelay *relay : {quiet.get(), next.get()}) {
        ASSERT_TRUE(offerer.SendTo(relay->GetB().GetBoundPort(), "still"));
        EXPECT_EQ(answerer.ReceiveText(), "still");
    }
    flooding = false;
    flood.join();
    EXPECT_EQ(flooded->GetForwarded(), forwarded);
    EXPECT_EQ(media.GetRelayLoop().GetClientCount(), 2);
}

// Each relay keeps its own quiet time although a thread serves several: a
// short one joining a thread that waits for long ones is still kept alive.
// Where no NAT needs it (a public address), nothing is sent at all.
TEST_F(LoopTest, EachRelayOnASharedThreadKeepsItsOwnQuietTime)
{
    bool needed = true;
    media.publicAddress = [&needed](LRtpPublicAddressQuery &query) {
        LRtpDefaultPublicAddress(query);
        query.keepAlive = needed;
    };
    const std::string keepAlive(4, '\0');
    UdpPeer longO1, longA1, longO2, longA2, publicO, publicA;
    auto long1 = Relay(longO1, longA1, true, 60000), long2 = Relay(longO2, longA2, true, 60000);
    auto quick = Relay(offerer, answerer, true, 100);
    needed = false;
    auto unneeded = Relay(publicO, publicA, true, 100);
    for (int i = 0; i < 3; ++i) { // one at start, then one per quiet time
        EXPECT_EQ(offerer.ReceiveText(), keepAlive);
        EXPECT_EQ(answerer.ReceiveText(), keepAlive);
    }
    for (UdpPeer *peer : {&longO1, &longA1, &longO2, &longA2}) {
        EXPECT_EQ(peer->ReceiveText(), keepAlive);
        EXPECT_EQ(peer->ReceiveText(0), "<nothing>");
    }
    EXPECT_EQ(publicO.ReceiveText(0), "<nothing>");
    EXPECT_EQ(publicA.ReceiveText(0), "<nothing>");
}

} // namespace
