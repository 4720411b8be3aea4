// A relay port's public address: a real STUN exchange from the port's own
// socket (an odd port is reported as it is; the relay then moves the port)
// or the static RTP mapping from the settings.
#include "../sip/fake_stun_server.h"
#include "media/rtp_nat_resolver.h"
#include "rtp_test_support.h"
#include "sip/stun.h"

#include <gtest/gtest.h>

TEST(RtpNatResolver, StunFromTheRelaySocketOrTheStaticRtpMapping)
{
    TempSettingsRoot root;
    vtest::FakeStunServer server({"198.51.100.9", 40001});
    LSettingSetString("SIP", "STUNServer1", server.Name().c_str());
    UdpPeer relayPort;
    int fd = relayPort.Fd();
    uint16_t localPort = relayPort.Port();
    LSettingSetString("SIP", "STATICPublicIP", "203.0.113.1");
    LStunState state;
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
        LRtpNatResolve(state, query);
        EXPECT_EQ(publicIP, c.ip);
        EXPECT_EQ(publicPort, c.port);
        EXPECT_EQ(keepAlive, c.keepAlive);
    }
}
