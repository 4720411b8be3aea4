// Relay port allocation from the settings, exhaustion and odd public ports;
// a port's public address by STUN from its own socket or the static mapping.
#include "../sip/fake_stun_server.h"
#include "media/rtp_nat_resolver.h"
#include "media/rtp_relay.h"
#include "platform/clock.h"
#include "rtp_test_support.h"
#include "sdp_fakes.h"
#include "sip/stun.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{

class RelayPortsTest : public ::testing::Test
{
  protected:
    TempSettingsRoot root;
    LogCatcher log;
    FixedSdpSettings media;
};

TEST_F(RelayPortsTest, BaseFromSettingsRoundedDownAndBusyPortsSkipped)
{
    uint16_t base = FreePortBase(8);
    LSettingSetInt("SIP", "RTPPortBase", base + 1); // odd: rounded down
    UdpPeer busy1(base, "0.0.0.0"), busy2(base + 2, "0.0.0.0");
    ASSERT_EQ(busy1.Port(), base);
    ASSERT_EQ(busy2.Port(), base + 2);
    std::unique_ptr<LSDPRelay> relay = LRtpRelayCreate(media);
    ASSERT_NE(relay, nullptr);
    EXPECT_EQ(relay->GetConnectionA().GetLocalPrivatePort(), base + 4);
    EXPECT_EQ(relay->GetConnectionB().GetLocalPrivatePort(), base + 6);
    EXPECT_EQ(relay->GetConnectionA().GetLocalPublicPort(), base + 4);
}

// Ports held by relays of this process are skipped without a bind; a port
// given back is the lowest free one again, and another program's port is
// still found by the bind.
TEST_F(RelayPortsTest, ManyLiveRelaysKeepLowestFreeOrder)
{
    uint16_t base = FreePortBase(84);
    std::vector<std::unique_ptr<LRtpRelay>> relays;
    for (int i = 0; i < 20; i++) {
        relays.push_back(std::make_unique<LRtpRelay>(base, LRtpRelay::kKeepAliveMs, media));
        ASSERT_TRUE(relays.back()->IsBound());
        EXPECT_EQ(relays.back()->GetA().GetBoundPort(), base + 4 * i);
        EXPECT_EQ(relays.back()->GetB().GetBoundPort(), base + 4 * i + 2);
    }
    relays[3].reset();
    UdpPeer other(base + 14, "0.0.0.0");
    ASSERT_EQ(other.Port(), base + 14);
    LRtpRelay again(base, LRtpRelay::kKeepAliveMs, media);
    EXPECT_EQ(again.GetA().GetBoundPort(), base + 12);
    EXPECT_EQ(again.GetB().GetBoundPort(), base + 80) << "the other program's port is skipped";
    EXPECT_TRUE(PortTaken((uint16_t)(base + 12)));
    relays.clear();
    EXPECT_FALSE(PortTaken(base)) << "closed relays give their ports back";
}

TEST_F(RelayPortsTest, NoFreePortBelowTheLimitGivesNoRelay)
{
    LSettingSetInt("SIP", "RTPPortBase", 65530);
    UdpPeer busy1(65530, "0.0.0.0");
    auto busy2 = std::make_unique<UdpPeer>(65532, "0.0.0.0");
    if (busy1.Port() != 65530 || busy2->Port() != 65532)
        GTEST_SKIP() << "ports 65530/65532 taken by someone else";
    EXPECT_EQ(LRtpRelayCreate(media), nullptr);
    EXPECT_TRUE(log.Has("no free even port"));
    // One port left: A binds it, B finds none; still no relay.
    busy2.reset();
    EXPECT_EQ(LRtpRelayCreate(media), nullptr);
}

TEST_F(RelayPortsTest, OddPublicPortMovesTheSocketUntilThePortIsHandedOut)
{
    // STUN reports the local port + 1 while the port may still move.
    media.publicAddress = [](LRtpPublicAddressQuery &query) {
        LRtpDefaultPublicAddress(query);
        query.publicIP = "203.0.113.7";
        query.publicPort = (uint16_t)(query.localPort + 1);
    };
    uint16_t base = RandomPortBase();
    // portMoves: in steps of 2 before giving up
    // clang-format off
    const struct { bool handedOut, stun; int portMoves; } cases[] = {{true, true, 0}, {false, false, 0}, {false, true, 101}};
    // clang-format on
    for (const auto &c : cases) {
        LSettingSetBool("SIP", "STUN", c.stun);
        LRtpRelay relay(base, LRtpRelay::kKeepAliveMs, media);
        ASSERT_TRUE(relay.IsBound());
        uint16_t first = relay.GetA().GetBoundPort();
        if (c.handedOut)
            relay.GetA().GetLocalPrivatePort();
        relay.GetA().ResolvePublicIP();
        EXPECT_EQ(relay.GetA().GetLocalPublicIP(), "203.0.113.7");
        uint16_t now = relay.GetA().GetBoundPort();
        // The first move may hop over B's port, and a move hops over ports
        // that tests running beside this one hold at that moment.
        EXPECT_GE(now, first + 2 * c.portMoves) << c.handedOut << c.stun;
        EXPECT_LE(now, first + 2 * c.portMoves + (c.portMoves ? 2 + 16 : 0));
        EXPECT_EQ(now % 2, 0);
        EXPECT_TRUE(relay.GetA().IsBound()) << "a port is never left unbound";
    }
    EXPECT_TRUE(log.Has("odd"));
}

TEST_F(RelayPortsTest, PublicAddressByStunFromItsSocketOrTheStaticMapping)
{
    vtest::FakeStunServer server({"198.51.100.9", 40001});
    LSettingSetString("SIP", "STUNServer1", server.Name().c_str());
    UdpPeer relayPort;
    int fd = relayPort.Fd();
    uint16_t localPort = relayPort.Port();
    LSettingSetString("SIP", "STATICPublicIP", "203.0.113.1");
    LStunState state;
    LSystemClock clock;
    // clang-format off
    const struct { bool isStatic; const char *ip; int port; bool keepAlive; } cases[] = {
        {false, "198.51.100.9", 40001, true},  // a STUN mapping closes when silent
        {true,  "203.0.113.1",  9004,  false},
    };
    // clang-format on
    for (const auto &c : cases) {
        LSettingSetBool("SIP", "STATIC", c.isStatic);
        std::string privateIP = "192.168.1.23", publicIP;
        uint16_t publicPort = 0;
        bool keepAlive = !c.keepAlive;
        LRtpPublicAddressQuery query{privateIP, localPort, fd,         (uint16_t)(localPort - 4),
                                     9000,      publicIP,  publicPort, keepAlive};
        LRtpNatResolve(state, clock, query);
        EXPECT_EQ(publicIP, c.ip);
        EXPECT_EQ(publicPort, c.port);
        EXPECT_EQ(keepAlive, c.keepAlive);
    }
}

} // namespace
