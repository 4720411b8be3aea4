// The exchange behind a real NAT router: three network namespaces made here
// ("lan" with the exchange, "router" masquerading with nftables, "wan" with
// a real STUN server, stund), and for a home worker two more (a phone behind
// a router of its own).
#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"
#include "config/pbx_outbound_plan.h"
#include "config/settings.h"
#include "support/baresip.h"
#include "support/kamailio_instance.h"
#include "support/process.h"
#include "support/text.h"
#include "support/udp_peer.h"
#include "support/vela_instance.h"
#include "support/wait.h"

#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace vtest
{
namespace
{
// A public-looking wan network: the IGD refuses to map for an external
// address in a reserved range. It exists only inside the namespaces.
const char *kRouterWan = "11.21.0.1";
const char *kStund = "11.21.0.2";      // its alternate address is .3
const char *kSilentStun = "11.21.0.4"; // a server that never answers itself
const char *kRegistrar = "11.21.0.5";
const char *kSpoofer = "11.21.0.6";
const char *kWanPhone = "11.21.0.7";

int Shell(const std::string &command)
{
    return system(command.c_str());
}

// An OPTIONS from a wan peer to the router's port; true when the answer
// (any status) comes back through the router.
bool AnswersOptions(UdpPeer &peer, int port, const std::string &callId)
{
    std::string options = "OPTIONS sip:100@" + std::string(kRouterWan) +
                          " SIP/2.0\r\nVia: SIP/2.0/UDP 11.21.0.5:5060;branch=z9hG4bK-" + callId +
                          "\r\nMax-Forwards: 70\r\nTo: <sip:100@11.21.0.1>\r\nFrom: "
                          "<sip:x@11.21.0.5>;tag=t1\r\nCall-ID: " +
                          callId + "\r\nCSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n";
    peer.SendTo(port, options, kRouterWan);
    std::string reply;
    for (int64_t end = MonotonicMs() + 5000; MonotonicMs() < end;)
        if (peer.Receive(reply, 500) && reply.rfind("SIP/2.0 ", 0) == 0 && Has(reply, callId))
            return true;
    return false;
}

class NatRouterTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        static int serial = 0;
        tag = std::to_string(getpid()) + "x" + std::to_string(serial++);
        lan = "v21lan" + tag, router = "v21rtr" + tag, wan = "v21wan" + tag;
        if (geteuid() != 0 || access("/usr/sbin/stund", X_OK) != 0 ||
            access("/usr/sbin/nft", X_OK) != 0)
            GTEST_SKIP() << "needs root, stund (stun-server) and nft (nftables)";
        if (Shell("ip netns add " + lan + " 2>/dev/null") != 0)
            GTEST_SKIP() << "network namespaces cannot be made here";
        made = true;
        sipPort = 20000 + (int)(getpid() % 20000);
        ASSERT_EQ(Shell(Topology()), 0) << "topology";
        if (Forward()) {
            ASSERT_EQ(Shell(ForwardRule()), 0) << "port forward";
        }
        std::ofstream(wrapper) << "#!/bin/sh\nexec ip netns exec " << lan << " " << VELA_BINARY
                               << " \"$@\"\n";
        ASSERT_EQ(chmod(wrapper.c_str(), 0755), 0);
        vela.SetPort("sip", sipPort);
        setenv("VELA_ROOT", vela.Root().c_str(), 1);
        ASSERT_TRUE(LSettingSetInt("SIP", "RTPPortBase", 30000));
        ASSERT_TRUE(stund.Start({"/usr/sbin/ip", "netns", "exec", wan, "/usr/sbin/stund", "-h",
                                 kStund, "-a", "11.21.0.3"}));
        ASSERT_TRUE(StundAnswers()) << stund.Output();
    }
    void TearDown() override
    {
        if (vela.Process().Running())
            vela.Stop(SIGTERM, 10000);
        if (stund.Running())
            stund.Stop(SIGTERM, 5000);
        unsetenv("VELA_ROOT");
        unlink(wrapper.c_str());
        if (made)
            Shell("ip netns del " + lan + "; ip netns del " + router + "; ip netns del " + wan +
                  " 2>/dev/null");
        for (const std::string &ns : more)
            Shell("ip netns del " + ns + " 2>/dev/null");
        Shell("rm -rf /etc/netns/" + lan);
    }
    // lan (the exchange at 10.21.1.2) - router (masquerading out of c<tag>,
    // with the empty chains miniupnpd fills) - wan (11.21.0.2 to .7).
    std::string Topology()
    {
        return "L=" + lan + " R=" + router + " W=" + wan + " T=" + tag + R"sh(
set -e; ip netns add $R; ip netns add $W
ip link add a$T netns $L type veth peer name b$T netns $R
ip link add c$T netns $R type veth peer name d$T netns $W
ip -n $L addr add 10.21.1.2/24 dev a$T
for i in a$T lo; do ip -n $L link set $i up; done
ip -n $L route add default via 10.21.1.1
ip -n $R addr add 10.21.1.1/24 dev b$T; ip -n $R addr add 11.21.0.1/24 dev c$T
for i in b$T c$T lo; do ip -n $R link set $i up; done
for i in d$T lo; do ip -n $W link set $i up; done
for h in 2 3 4 5 6 7; do ip -n $W addr add 11.21.0.$h/24 dev d$T; done
ip netns exec $R sysctl -qw net.ipv4.ip_forward=1
ip netns exec $R nft -f - <<EOF
table ip nat {
  chain post { type nat hook postrouting priority 100; oifname "c$T" masquerade; }
  chain pre { type nat hook prerouting priority -100; }
}
table inet filter {
  chain forward { type filter hook forward priority 0; jump miniupnpd; }
  chain miniupnpd { }
  chain prerouting { type nat hook prerouting priority -100; jump prerouting_miniupnpd; }
  chain postrouting { type nat hook postrouting priority 100; jump postrouting_miniupnpd; }
  chain prerouting_miniupnpd { }
  chain postrouting_miniupnpd { }
}
EOF
)sh";
    }
    // The SIP port forwarded from the router to the exchange, as an office
    // router is set up to let calls in.
    std::string ForwardRule()
    {
        return "ip netns exec " + router + " nft add rule ip nat pre iifname c" + tag +
               " udp dport " + std::to_string(sipPort) + " dnat to 10.21.1.2";
    }
    virtual bool Forward() const { return true; }
    // The port of "SIP Public IP is: <router>:<port>", waited for; "" if the
    // router's address was never advertised.
    std::string AdvertisedPort(int timeoutMs)
    {
        std::string expected = std::string("SIP Public IP is: ") + kRouterWan + ":";
        if (!vela.Process().WaitForOutput(expected, timeoutMs))
            return "";
        std::string out = vela.Process().Output();
        std::string port = out.substr(out.find(expected) + expected.size(), 5);
        return port.substr(0, port.find_first_not_of("0123456789"));
    }
    // stund prints nothing when ready: ask it from wan until it answers.
    bool StundAnswers()
    {
        UdpPeer client(0, kWanPhone, wan.c_str());
        const std::string request = std::string("\0\1", 2) + std::string(18, '\0');
        std::string answer;
        for (int i = 0; i < 50; i++)
            if (client.SendTo(3478, request, kStund) && client.Receive(answer, 100))
                return true;
        return false;
    }

    std::string tag, lan, router, wan;
    std::vector<std::string> more; // further namespaces a test made
    bool made = false;
    int sipPort = 0;
    std::string wrapper = "/tmp/vela-netns-" + std::to_string(getpid()) + ".sh";
    VelaInstance vela{wrapper};
    ChildProcess stund;
};
} // namespace

TEST_F(NatRouterTest, StunFindsTheRouterAndAForgedAnswerIsIgnored)
{
    // The first server stays silent; another wan host answers in its place
    // with the right transaction (the request is passed to it here).
    UdpPeer silent(3478, kSilentStun, wan.c_str()), spoofer(3478, kSpoofer, wan.c_str());
    UdpPeer registrar(5060, kRegistrar, wan.c_str());
    ASSERT_TRUE(silent.IsOpen() && spoofer.IsOpen() && registrar.IsOpen());
    std::atomic<bool> stop{false};
    std::atomic<int> forged{0};
    std::thread forger([&] {
        std::string request, fromIp;
        int fromPort = 0;
        while (!stop)
            if (silent.Receive(request, 50, &fromPort, &fromIp) && request.size() >= 20) {
                std::string answer = std::string("\x01\x01\x00\x0c", 4) + request.substr(4, 16) +
                                     std::string("\x00\x01\x00\x08\x00\x01\x04\xd2", 8) +
                                     std::string("\xcb\x00\x71\x42", 4); // 203.0.113.66:1234
                spoofer.SendTo(fromPort, answer, fromIp.c_str());
                forged++;
            }
    });
    ASSERT_TRUE(LSettingSetString("SIP", "STUNServer1", kSilentStun));
    ASSERT_TRUE(LSettingSetString("SIP", "STUNServer2", kStund));
    LPBXExternalLine line;
    ASSERT_TRUE(LPBXExternalLineList().CreateNewRecord(line, "provider"));
    line.SetLineID("2001");
    line.SetServer(kRegistrar);
    line.SetPassword("linepw");

    EXPECT_TRUE(vela.Start()); // no ASSERT: the forger thread must be joined
    std::string publicPort = AdvertisedPort(20000);
    std::string out = vela.Process().Output();
    EXPECT_FALSE(publicPort.empty()) << out;
    EXPECT_GT(forged.load(), 0) << "the forged answers never went out";
    EXPECT_TRUE(Has(out, std::string("STUN server failed: ") + kSilentStun)) << out;
    EXPECT_FALSE(Has(out, "203.0.113.66")) << out;

    // The line registers with the router's address and port in Via and Contact.
    std::string registerText;
    bool found = false;
    for (int64_t end = MonotonicMs() + 20000; !found && MonotonicMs() < end;)
        found = registrar.Receive(registerText, 500) && Has(registerText, "REGISTER") &&
                Has(registerText, std::string("@") + kRouterWan + ":" + publicPort);
    EXPECT_TRUE(found) << registerText;
    EXPECT_TRUE(Has(registerText, std::string("Via: SIP/2.0/UDP ") + kRouterWan + ":" + publicPort))
        << registerText;

    // From the internet, through the router's forward, the engine answers.
    EXPECT_TRUE(AnswersOptions(registrar, sipPort, "nat-options-1"));
    stop = true;
    forger.join();
}

// Linux masquerading lets in only answers from the address a port sent to,
// so without a forward the changed-address answer is lost: the network test
// rules STUN out, finds no IGD, and concludes on manual set-up ("Active").
// Then a real IGD on the router (miniupnpd, nftables backend): the exchange
// maps its SIP port by UPnP, the mapping shows in the router's rules, and a
// request from the internet reaches the exchange through it.
class NatRouterNoForwardTest : public NatRouterTest
{
  protected:
    bool Forward() const override { return false; }
};

TEST_F(NatRouterNoForwardTest, NetworkTestFindsThisNatThenUpnpMapsTheSipPort)
{
    ASSERT_TRUE(LSettingSetString("SIP", "NetworkTestSTUNServers", kStund));
    ChildProcess test;
    ASSERT_TRUE(test.Start({wrapper, "-network-test"}, {"VELA_ROOT=" + vela.Root()}));
    int status = -1;
    ASSERT_TRUE(test.WaitExit(60000, &status)) << test.Output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << test.Output();
    std::string out = test.Output();
    // The findings about this network, in order (not every progress line).
    const char *steps[] = {"Local network IP is: 10.21.1.2",
                           "connected to Internet over a network using a NAT",
                           "NAT is symmetric so STUN will not work.", "No uPNP NAT or router found",
                           "SIP Network Tool finished"};
    size_t from = 0;
    for (const char *step : steps) {
        size_t at = out.find(step, from);
        EXPECT_NE(at, std::string::npos) << step << "\n" << out;
        from = at == std::string::npos ? from : at;
    }
    EXPECT_FALSE(LSettingGetBool("SIP", "STUN", true));
    EXPECT_FALSE(LSettingGetBool("SIP", "UPNP", true));
    EXPECT_TRUE(LSettingGetBool("SIP", "Active", false));

    if (access("/usr/sbin/miniupnpd", X_OK) != 0)
        GTEST_SKIP() << "needs miniupnpd (miniupnpd-nftables)";
    TempDir folder("vela-igd");
    std::string conf = folder.Path() + "/miniupnpd.conf";
    std::ofstream(conf) << "ext_ifname=c" << tag << "\nlistening_ip=b" << tag
                        << "\nhttp_port=0\nenable_natpmp=no\nenable_upnp=yes\nsecure_mode=yes\n"
                           "force_igd_desc_v1=yes\nuuid=3d3cec3a-8cf0-11e0-98ee-001a6bd2d07b\n"
                           "allow 1024-65535 10.21.1.0/24 1024-65535\n"
                           "deny 0-65535 0.0.0.0/0 0-65535\n";
    ChildProcess igd;
    ASSERT_TRUE(igd.Start(
        {"/usr/sbin/ip", "netns", "exec", router, "/usr/sbin/miniupnpd", "-d", "-f", conf}));
    ASSERT_TRUE(igd.WaitForOutput("HTTP listening on port", 5000)) << igd.Output();
    ASSERT_TRUE(LSettingSetBool("SIP", "STUN", false));
    ASSERT_TRUE(LSettingSetBool("SIP", "UPNP", true));

    ASSERT_TRUE(vela.Start()) << vela.Process().Output();
    int mapped = sipPort + 2; // stride 1 times the last octet of 10.21.1.2
    std::string expected =
        std::string("SIP Public IP is: ") + kRouterWan + ":" + std::to_string(mapped);
    EXPECT_TRUE(vela.Process().WaitForOutput(expected, 20000))
        << vela.Process().Output() << igd.Output();

    TempDir listing("vela-nft");
    std::string rules = listing.Path() + "/rules";
    Shell("ip netns exec " + router + " nft list chain inet filter prerouting_miniupnpd > " +
          rules);
    EXPECT_TRUE(Has(ReadFile(rules), "dport " + std::to_string(mapped) +
                                         " dnat ip to 10.21.1.2:" + std::to_string(sipPort)))
        << ReadFile(rules);

    UdpPeer peer(5060, kRegistrar, wan.c_str());
    ASSERT_TRUE(peer.IsOpen());
    EXPECT_TRUE(AnswersOptions(peer, mapped, "nat-upnp-1"));
    vela.Stop(SIGTERM, 10000);
    igd.Stop(SIGTERM, 5000);
}
// The usual office: the exchange behind a router that forwards nothing, and
// a provider on the internet (Kamailio). The line registers with the public
// address STUN found, which keeps a way open for the provider's calls, and
// the relay's own packets open one for the audio. A baresip phone on the
// internet calls the line and talks with a baresip phone in the office; then
// the office phone calls it back out through the line.
TEST_F(NatRouterNoForwardTest, ProviderCallsCrossARouterThatForwardsNothing)
{
    if (access("/usr/sbin/kamailio", X_OK) != 0 || access("/usr/bin/baresip", X_OK) != 0)
        GTEST_SKIP() << "needs kamailio and baresip";
    ASSERT_TRUE(LSettingSetBool("SIP", "STUN", true));
    ASSERT_TRUE(LSettingSetString("SIP", "STUNServer1", kStund));
    LPBXExtension office;
    ASSERT_TRUE(LPBXExtensionList().CreateNewRecord(office, "102"));
    office.SetPassword("pw102");
    office.SetVoiceMailExtension("");
    KamailioInstance provider({{"2001", "linepw"}, {"3001", "outpw"}}, 120, wan, kRegistrar);
    LPBXExternalLine line;
    ASSERT_TRUE(LPBXExternalLineList().CreateNewRecord(line, "provider"));
    line.SetLineID("2001");
    line.SetServer(provider.Address().c_str());
    line.SetPassword("linepw");
    line.SetRingOnLine("102");
    LPBXOutboundPlan plan;
    ASSERT_TRUE(LPBXOutboundPlanList().CreateNewRecord(plan, "default"));
    ASSERT_TRUE(plan.GetDialBasedRuleList().AddRule("9", 1, "", "provider"));
    std::string why;
    ASSERT_TRUE(provider.Start(why)) << why;
    ASSERT_TRUE(vela.Start()) << vela.Process().Output();
    ASSERT_TRUE(vela.Process().WaitForOutput(std::string("Registered as: sip:2001@"), 20000))
        << vela.Process().Output() << provider.Log();

    TempDir homes[2] = {TempDir{"vela-nat-office"}, TempDir{"vela-nat-outside"}};
    UdpPeer lanConsole(0, "127.0.0.1", lan.c_str()), wanConsole(0, "127.0.0.1", wan.c_str());
    const int cLan = FreeUdpPort(), cWan = FreeUdpPort();
    auto inside = StartBaresip(homes[0], "102", "pw102", "10.21.1.2:" + std::to_string(sipPort),
                               true, cLan, {}, lan, "10.21.1.2");
    auto outside =
        StartBaresip(homes[1], "3001", "outpw", provider.Address(), true, cWan, {}, wan, kWanPhone);
    ASSERT_TRUE(inside && outside);
    ASSERT_TRUE(vela.Process().WaitForOutput("Extension 102 is at", 10000));
    ASSERT_TRUE(WaitUntil([&] { return Has(provider.DumpLocations(), "sip:3001"); }, 10000));

    Console(wanConsole, cWan, "/dial sip:2001@" + provider.Address());
    ASSERT_TRUE(inside->WaitForOutput("Call established", 10000))
        << inside->Output() << vela.Process().Output() << provider.Log();
    EXPECT_TRUE(Hears(lanConsole, cLan, wanConsole, cWan));
    EXPECT_TRUE(Hears(wanConsole, cWan, lanConsole, cLan));
    Console(wanConsole, cWan, "/hangup");
    EXPECT_TRUE(inside->WaitForOutput("terminated", 10000)) << inside->Output();

    Console(lanConsole, cLan, "/dial 93001");
    auto twice = [](ChildProcess &phone, const char *text) {
        const std::string &out = phone.Output();
        size_t first = out.find(text);
        return first != std::string::npos && out.find(text, first + 1) != std::string::npos;
    };
    ASSERT_TRUE(WaitUntil([&] { return twice(*outside, "Call established"); }, 10000))
        << outside->Output() << vela.Process().Output() << provider.Log();
    EXPECT_TRUE(Hears(lanConsole, cLan, wanConsole, cWan));
    EXPECT_TRUE(Hears(wanConsole, cWan, lanConsole, cLan));
    Console(lanConsole, cLan, "/hangup");
    EXPECT_TRUE(WaitUntil([&] { return twice(*outside, "terminated"); }, 10000))
        << outside->Output();
    for (ChildProcess *phone : {inside.get(), outside.get()})
        phone->Stop(SIGTERM, 5000);
}
// The office's internet connection is down and its name server does not
// answer, while a provider line and the STUN server are set up by name: the
// phones in the office still register at once (the exchange looks names up
// on the side).
TEST_F(NatRouterTest, PhonesRegisterAtOnceWhileTheNameServerIsAway)
{
    // /etc/netns/<lan>/resolv.conf stands in for /etc/resolv.conf in lan;
    // the name server is a wan host that drops every query.
    const std::string inWan = "ip netns exec " + wan + " nft add ";
    ASSERT_EQ(Shell("mkdir -p /etc/netns/" + lan +
                    " && echo 'nameserver 11.21.0.53' > /etc/netns/" + lan +
                    "/resolv.conf && ip -n " + wan + " addr add 11.21.0.53/24 dev d" + tag +
                    " && " + inWan + "table inet dns && " + inWan +
                    "chain inet dns in '{ type filter hook input priority 0; }' && " + inWan +
                    "rule inet dns in udp dport 53 drop"),
              0);
    LPBXExtension phone;
    ASSERT_TRUE(LPBXExtensionList().CreateNewRecord(phone, "102"));
    phone.SetPassword("pw102");
    LPBXExternalLine line;
    ASSERT_TRUE(LPBXExternalLineList().CreateNewRecord(line, "provider"));
    line.SetLineID("2001");
    line.SetServer("sip.provider.test");
    line.SetPassword("linepw");
    ASSERT_TRUE(LSettingSetBool("SIP", "STUN", true));
    ASSERT_TRUE(LSettingSetString("SIP", "STUNServer1", "stun.office.test"));
    ASSERT_TRUE(vela.Start()) << vela.Process().Output();
    ASSERT_TRUE(vela.Process().WaitForOutput("SIP Private IP is: 10.21.1.2", 10000));
    for (int round = 0; round < 3; round++) {
        ChildProcess sipp;
        int status = -1;
        int64_t start = MonotonicMs();
        // clang-format off
        ASSERT_TRUE(sipp.Start({"/usr/sbin/ip", "netns", "exec", lan, "/usr/bin/sipp", "10.21.1.2:" + std::to_string(sipPort),
                                "-sf", std::string(VELA_TEST_GENERATED) + "/../callcontrol/sipp/register.xml",
                                "-i", "10.21.1.2", "-p", "5062", "-m", "1", "-nostdin", "-timeout", "20s",
                                "-timeout_error", "-s", "102", "-au", "102", "-ap", "pw102"}));
        // clang-format on
        EXPECT_TRUE(sipp.WaitExit(20000, &status) && WIFEXITED(status) && !WEXITSTATUS(status))
            << sipp.Output();
        EXPECT_LT(MonotonicMs() - start, 2000) << "round " << round << "\n"
                                               << vela.Process().Output();
        usleep(3000000); // the line's REGISTER is tried again every 7 s meanwhile
    }
    // Once the look-ups have failed, both are reported as before.
    int64_t start = MonotonicMs();
    EXPECT_TRUE(
        vela.Process().WaitForOutput("STUN server failed: stun.office.test", 60000) &&
        vela.Process().WaitForOutput("Unable to find address of server: sip.provider.test", 60000))
        << vela.Process().Output();
    printf("reported %lld ms after the registrations\n", (long long)(MonotonicMs() - start));
}
// A home worker: a baresip phone behind its own router (masquerading, its
// SDP naming its private address) registers with the office exchange through
// the office router's forwards, and calls a baresip phone in the office both
// ways. The exchange must reach it at the address its REGISTER came from and
// relay its audio to where its packets come from.
TEST_F(NatRouterTest, PhoneBehindItsOwnRouterCallsTheOfficeBothWays)
{
    if (access("/usr/bin/baresip", X_OK) != 0)
        GTEST_SKIP() << "needs baresip";
    const std::string home = "v21hom" + tag, homeRouter = "v21hrt" + tag;
    more = {home, homeRouter};
    // home (192.168.77.2) - homeRouter (masquerading out of 11.22.0.1) -
    // wan (11.22.0.254, forwarding to the office router at 11.21.0.1).
    ASSERT_EQ(Shell("H=" + home + " G=" + homeRouter + " W=" + wan + " R=" + router + " T=" + tag +
                    R"sh(
set -e; ip netns add $H; ip netns add $G
ip link add e$T netns $H type veth peer name f$T netns $G
ip link add g$T netns $G type veth peer name h$T netns $W
ip -n $H addr add 192.168.77.2/24 dev e$T
for i in e$T lo; do ip -n $H link set $i up; done
ip -n $H route add default via 192.168.77.1
ip -n $G addr add 192.168.77.1/24 dev f$T; ip -n $G addr add 11.22.0.1/24 dev g$T
for i in f$T g$T lo; do ip -n $G link set $i up; done
ip -n $G route add default via 11.22.0.254
ip -n $W addr add 11.22.0.254/24 dev h$T; ip -n $W link set h$T up
ip netns exec $W sysctl -qw net.ipv4.ip_forward=1
ip -n $R route add 11.22.0.0/24 via 11.21.0.2
ip netns exec $G sysctl -qw net.ipv4.ip_forward=1
ip netns exec $G nft add table ip nat
ip netns exec $G nft add chain ip nat post '{ type nat hook postrouting priority 100; }'
ip netns exec $G nft add rule ip nat post oifname g$T masquerade
ip netns exec $R nft add rule ip nat pre iifname c$T udp dport 30000-30999 dnat to 10.21.1.2
)sh"),
              0);
    // clang-format off
    for (auto [key, value] : std::vector<std::pair<const char *, std::string>>{
             {"STATIC", "1"}, {"STATICPublicIP", kRouterWan}, {"STATICSIPPort", std::to_string(sipPort)},
             {"STATICRTPPortBase", "30000"}, {"STUN", "0"}})
        ASSERT_TRUE(LSettingSetString("SIP", key, value.c_str()));
    // clang-format on
    for (const char *name : {"101", "102"}) {
        LPBXExtension extension;
        ASSERT_TRUE(LPBXExtensionList().CreateNewRecord(extension, name));
        extension.SetPassword((std::string("pw") + name).c_str());
        extension.SetVoiceMailExtension("");
    }
    ASSERT_TRUE(vela.Start()) << vela.Process().Output();
    TempDir homes[2] = {TempDir{"vela-nat-home"}, TempDir{"vela-nat-desk"}};
    UdpPeer homeConsole(0, "127.0.0.1", home.c_str()), lanConsole(0, "127.0.0.1", lan.c_str());
    const int cHome = FreeUdpPort(), cLan = FreeUdpPort();
    auto remote = StartBaresip(homes[0], "101", "pw101",
                               std::string(kRouterWan) + ":" + std::to_string(sipPort), true, cHome,
                               {}, home, "192.168.77.2");
    auto desk = StartBaresip(homes[1], "102", "pw102", "10.21.1.2:" + std::to_string(sipPort), true,
                             cLan, {}, lan, "10.21.1.2");
    ASSERT_TRUE(remote && desk);
    EXPECT_TRUE(vela.Process().WaitForOutput("Extension 101 is at: sip:101-", 10000) &&
                vela.Process().WaitForOutput("Extension 102 is at", 10000))
        << vela.Process().Output() << remote->Output();

    auto twice = [](ChildProcess &phone, const char *text) {
        const std::string &out = phone.Output();
        size_t first = out.find(text);
        return first != std::string::npos && out.find(text, first + 1) != std::string::npos;
    };
    Console(lanConsole, cLan, "/dial 101");
    ASSERT_TRUE(remote->WaitForOutput("Call established", 10000))
        << remote->Output() << vela.Process().Output();
    EXPECT_TRUE(Hears(homeConsole, cHome, lanConsole, cLan));
    EXPECT_TRUE(Hears(lanConsole, cLan, homeConsole, cHome));
    Console(lanConsole, cLan, "/hangup");
    EXPECT_TRUE(remote->WaitForOutput("terminated", 10000)) << remote->Output();

    Console(homeConsole, cHome, "/dial 102");
    ASSERT_TRUE(WaitUntil([&] { return twice(*desk, "Call established"); }, 10000))
        << desk->Output() << vela.Process().Output();
    EXPECT_TRUE(Hears(homeConsole, cHome, lanConsole, cLan));
    EXPECT_TRUE(Hears(lanConsole, cLan, homeConsole, cHome));
    Console(homeConsole, cHome, "/hangup");
    EXPECT_TRUE(WaitUntil([&] { return twice(*desk, "terminated"); }, 10000)) << desk->Output();
    for (ChildProcess *phone : {remote.get(), desk.get()})
        phone->Stop(SIGTERM, 5000);
}
} // namespace vtest
