// Public-address resolution against STUN servers on loopback: a real UDP
// exchange, servers that stay silent, a spoofed answer from another port,
// and the static and UPnP port arithmetic at the edges of the port range.
#include "fake_stun_server.h"
#include "sip/sip_nat.h"

#include <gtest/gtest.h>

using vtest::FakeStunServer;

namespace
{
struct NatFixture : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(socket.Bind(0, 0x7F000001));
        LIPAddressWithPort bound;
        ASSERT_TRUE(socket.GetLocalAddress(bound));
        local.localIP = "127.0.0.1";
        local.localPort = bound.GetPort();
        local.socket = socket.GetHandle();
    }
    // The attempts run on the manual clock, which only the silent servers
    // move: a server that should answer and does not ends the test by the
    // deadline, not by a pass.
    LSipNatAddress Resolve()
    {
        struct Deadline {
            uint64_t end = LMonotonicMs() + 10000;
            bool IsToStop() const { return LMonotonicMs() > end; }
        } process;
        LSipNatContext context{stun, clock, &mapper, names};
        context.strays = [this](const char *bytes, size_t length, const LIPAddressWithPort &) {
            strays.emplace_back(bytes, length);
        };
        LSipNatAddress out;
        ProcessSipNat(process, context, settings, local, out);
        return out;
    }

    LUdpSocket socket;
    LStunState stun;
    LManualClock clock;
    vtest::FakePortMapper mapper;
    LSipNatSettings settings;
    LSipNatSocket local;
    LNameCache *names = nullptr;
    std::vector<std::string> strays; // read while an answer was awaited
};
} // namespace

// Another port answers first with another address: not taken, but handed
// on as any other datagram read meanwhile (on the SIP socket, SIP); the
// server's own answer taken.
TEST_F(NatFixture, StunAnswerGivesThePublicAddressAndSpoofsAreIgnored)
{
    FakeStunServer server({"198.51.100.4", 31000, true});
    snprintf(settings.stunServer1, sizeof(settings.stunServer1), "%s", server.Name().c_str());
    LSipNatAddress out = Resolve();
    EXPECT_STREQ(out.publicIP, "198.51.100.4");
    EXPECT_EQ(out.publicPort, 31000);
    EXPECT_TRUE(out.behindNAT);
    ASSERT_EQ(strays.size(), 1u);
    EXPECT_EQ(strays[0].size(), 32u);
}

// Servers given by name are asked at the address the name cache found; a
// name without an address is a server that failed, asked nothing and never
// looked up in the resolving thread's way.
TEST_F(NatFixture, ServerNamesComeFromTheNameCache)
{
    FakeStunServer server({"198.51.100.6", 33000});
    LNameCache cache(clock, nullptr, [](const std::string &name, uint32_t &address) {
        address = 0x7F000001;
        return name == "stun.office.test";
    });
    names = &cache;
    std::string port = server.Name().substr(server.Name().find(':'));
    snprintf(settings.stunServer1, sizeof(settings.stunServer1), "stun.gone.test%s", port.c_str());
    snprintf(settings.stunServer2, sizeof(settings.stunServer2), "stun.office.test%s",
             port.c_str());
    LIPAddressWithPort address;
    for (const char *name : {"stun.gone.test", "stun.office.test"})
        for (int i = 0; i < 5000 && cache.Lookup(name, 0, address) == LNameLookup::Pending; i++)
            usleep(1000);
    EXPECT_STREQ(Resolve().publicIP, "198.51.100.6");
    EXPECT_EQ(server.Requests(), 1) << "the unknown name was not asked";
    EXPECT_TRUE(stun.backup.load());
}

TEST_F(NatFixture, SilentFirstServerFlipsToTheBackupWhichStaysFirst)
{
    FakeStunServer silent({"", 0, false, false, &clock});
    FakeStunServer backup({"198.51.100.8", 32000});
    snprintf(settings.stunServer1, sizeof(settings.stunServer1), "%s", silent.Name().c_str());
    snprintf(settings.stunServer2, sizeof(settings.stunServer2), "%s", backup.Name().c_str());
    EXPECT_STREQ(Resolve().publicIP, "198.51.100.8");
    EXPECT_EQ(silent.Requests(), 3);
    EXPECT_TRUE(stun.backup.load());
    EXPECT_STREQ(Resolve().publicIP, "198.51.100.8");
    EXPECT_EQ(silent.Requests(), 3); // the backup was asked first
}

TEST_F(NatFixture, BothSilentKeepsThePrivateAddressAndStartsOverWithTheFirst)
{
    FakeStunServer one({"", 0, false, false, &clock}), two({"", 0, false, false, &clock});
    snprintf(settings.stunServer1, sizeof(settings.stunServer1), "%s", one.Name().c_str());
    snprintf(settings.stunServer2, sizeof(settings.stunServer2), "%s", two.Name().c_str());
    LSipNatAddress out = Resolve();
    EXPECT_STREQ(out.publicIP, "127.0.0.1");
    EXPECT_EQ(out.publicPort, local.localPort);
    EXPECT_EQ(two.Requests(), 3);
    EXPECT_FALSE(stun.backup.load());
}

TEST_F(NatFixture, PublicLocalAddressSendsNothing)
{
    FakeStunServer server({"198.51.100.4", 31000});
    snprintf(settings.stunServer1, sizeof(settings.stunServer1), "%s", server.Name().c_str());
    local.localIP = "203.0.113.9";
    LSipNatAddress out = Resolve();
    EXPECT_STREQ(out.publicIP, "203.0.113.9");
    EXPECT_FALSE(out.behindNAT);
    EXPECT_EQ(server.Requests(), 0);
}

TEST_F(NatFixture, StaticAndUpnpPortArithmetic)
{
    // clang-format off
    const struct { const char *name; bool isStatic; const char *staticIP; bool upnp; int localPort, localBase, staticBase, octet, stride; const char *ip; int port, upnpAsked, activeWrites; } cases[] = {
        {"static two above Port",   true,  "203.0.113.1", false, 5062,  5060, 7000,  1,   1,  "203.0.113.1",  7002,  0,     1},
        {"static past 65535",       true,  "203.0.113.1", false, 65000, 5060, 65000, 1,   1,  "127.0.0.1",    65000, 0,     1},
        {"static below 1",          true,  "203.0.113.1", false, 5000,  9000, 100,   1,   1,  "127.0.0.1",    5000,  0,     1},
        {"RTP by UPnP on .23",      false, "",            true,  8000,  8000, 8000,  23,  16, "203.0.113.50", 8368,  8368,  0},
        {"UPnP past 65535",         false, "",            true,  65500, 8000, 8000,  200, 16, "127.0.0.1",    65500, 0,     0},
        {"static port, UPnP IP",    true,  "",            true,  5061,  5060, 6000,  2,   1,  "203.0.113.50", 6001,  5063,  1},
    };
    // clang-format on
    for (const auto &c : cases) {
        int activeWrites = 0;
        settings = LSipNatSettings();
        settings.stun = false;
        settings.isStatic = c.isStatic;
        snprintf(settings.staticPublicIP, sizeof(settings.staticPublicIP), "%s", c.staticIP);
        settings.upnp = c.upnp;
        settings.writeBool = [&](const char *key, bool value) {
            activeWrites += std::string(key) == "Active" && !value;
        };
        local.localPort = c.localPort;
        local.localBase = c.localBase;
        local.staticPublicBase = c.staticBase;
        local.privateLastOctet = c.octet;
        local.portStride = c.stride;
        mapper.asked = 0;
        LSipNatAddress out = Resolve();
        EXPECT_STREQ(out.publicIP, c.ip) << c.name;
        EXPECT_EQ(out.publicPort, c.port) << c.name;
        EXPECT_EQ(mapper.asked, c.upnpAsked) << c.name;
        EXPECT_EQ(activeWrites, c.activeWrites) << c.name;
    }
}
