// External lines against a real provider: Kamailio as registrar and proxy.
#include "../callcontrol/call_fixture.h"
#include "config/pbx_external_line.h"
#include "config/pbx_outbound_plan.h"
#include "logs/call_log.h"
#include "support/baresip.h"
#include "support/kamailio_instance.h"
#include "support/text.h"
#include "support/wait.h"
#include "support/web_client.h"

#include <unistd.h>

namespace vtest
{
namespace
{
const char *kLineID = "2001";
const char *kLinePassword = "linepw";
const char *kOutside = "3001";
const char *kOutsidePassword = "outpw";
const char *kOutside2 = "3002";
const char *kOutside2Password = "out2pw";

class LineProviderTest : public CallTest
{
  protected:
    void SetUp() override
    {
        CallTest::SetUp();
        std::string why;
        if (!kamailio.Start(why))
            GTEST_SKIP() << "no provider to test against: " << why;
        ASSERT_TRUE(LSettingSetInt("SIP", "RTPPortBase", 20000 + (FreeUdpPort() % 20000) * 2));
    }
    void AddLine(const char *name, const char *id, const char *password)
    {
        LPBXExternalLine line;
        ASSERT_TRUE(LPBXExternalLineList().CreateNewRecord(line, name));
        line.SetLineID(id);
        line.SetServer(kamailio.Address().c_str());
        line.SetPassword(password);
        line.SetRingOnLine("102");
        line.SetPrependCID("8");
        line.SetAlwaysRelay(true); // the audio must pass the exchange
    }
    // The requests Kamailio logged from user (To for REGISTER).
    std::vector<std::string> Registers(const std::string &user)
    {
        std::vector<std::string> out;
        const std::string &log = kamailio.Log();
        for (size_t at = log.find("REGISTER sip:"); at != std::string::npos;
             at = log.find("REGISTER sip:", at + 1)) {
            std::string request = log.substr(at, log.find("REQUEST>>>", at) - at);
            if (Has(request, "To: <sip:" + user + "@"))
                out.push_back(request);
        }
        return out;
    }
    bool WaitForRegisters(const std::string &user, size_t count, int timeoutMs)
    {
        return WaitUntil([&] { return Registers(user).size() >= count; }, timeoutMs);
    }
    std::string Panel(const std::string &script)
    {
        return Curl({"-b", vela.PanelCookie(), vela.WebBase() + "/" + script});
    }
    // A panel form posted with a new session's token.
    std::string PanelPost(const std::string &script, const std::string &fields)
    {
        std::string cookie = vela.PanelCookie();
        std::string token = WebFormToken(Curl({"-b", cookie, vela.WebBase() + "/externalprop"}));
        return Curl({"-b", cookie, "-d", fields + "&csrf=" + token, vela.WebBase() + "/" + script});
    }
    std::string Binding() { return "sip:" + std::string(kLineID) + "@" + Remote(); }

    KamailioInstance kamailio{{{kLineID, kLinePassword},
                               {"2002", "otherpw"},
                               {kOutside, kOutsidePassword},
                               {kOutside2, kOutside2Password}},
                              20};
};

// Good line and a line with a wrong password: layout, one challenge each,
// the location table, a call out through the good line while its
// refresh comes due (before the 20 s grant runs out), the panel, and the
// un-REGISTER when the service stops.
TEST_F(LineProviderTest, LinesRegisterCarryCallsRefreshAndUnregisterOnStop)
{
    AddLine("prov", kLineID, kLinePassword);
    AddLine("wrong", "2002", "not-the-password");
    LPBXOutboundPlan plan;
    ASSERT_TRUE(LPBXOutboundPlanList().CreateNewRecord(plan, "default"));
    ASSERT_TRUE(plan.GetDialBasedRuleList().AddRule("9", 1, "", "prov"));
    StartVela();
    int outsidePort = FreeUdpPort();
    ASSERT_TRUE(Register(kOutside, kOutsidePassword, outsidePort, kamailio.Address()));
    ASSERT_TRUE(vela.Process().WaitForOutput("Registered as: sip:2001@", 10000))
        << vela.Process().Output();
    std::vector<std::string> first = Registers(kLineID);
    ASSERT_EQ(first.size(), 2u) << kamailio.Log();
    EXPECT_TRUE(Has(first[0], "CSeq: 2 REGISTER")) << first[0];
    EXPECT_TRUE(Has(first[0], "Contact: <" + Binding() + ">;expires=3600;q=0.90")) << first[0];
    EXPECT_TRUE(Has(first[1], "CSeq: 3 REGISTER"));
    EXPECT_TRUE(Has(first[1], "Authorization: Digest username=\"2001\""));
    EXPECT_TRUE(Has(kamailio.DumpLocations(), Binding()));

    // 101 dials 9 + the outside number; the line carries it to Kamailio,
    // which challenges with 407 and hands it to an outside phone registered
    // there. The audio phones play their pcap to the media address they were
    // given, and name a receiver of this test as their own.
    TempDir media{"vela-line-media"};
    for (const char *name : {"/caller.pcap", "/callee.pcap"})
        ASSERT_EQ(symlink("/usr/share/sip-tester/g711a.pcap", (media.Path() + name).c_str()), 0);
    UdpPeer callerSink, outsideSink;
    ChildProcess outside, caller;
    std::vector<std::string> argv = SippArgs("../../media/sipp/relay_uas.xml", outsidePort);
    argv.insert(argv.end(), {"-mp", std::to_string(FreeUdpPort()), "-key", "sink_port",
                             std::to_string(outsideSink.Port())});
    ASSERT_TRUE(outside.Start(argv, {}, media.Path()));
    argv = SippArgs("../../media/sipp/relay_uac.xml", FreeUdpPort(), Remote());
    argv.insert(argv.end(), {"-s", std::string("9") + kOutside, "-au", "101", "-ap",
                             kCallerPassword, "-mp", std::to_string(FreeUdpPort()), "-key",
                             "sink_port", std::to_string(callerSink.Port())});
    ASSERT_TRUE(caller.Start(argv, {}, media.Path()));
    EXPECT_TRUE(Succeeded(caller)) << caller.Output() << vela.Process().Output();
    EXPECT_TRUE(Succeeded(outside)) << outside.Output();

    std::string log = kamailio.Log();
    size_t invite = log.find("INVITE sip:3001@");
    ASSERT_NE(invite, std::string::npos) << log;
    size_t from = log.find("\nFrom: ", invite);
    EXPECT_TRUE(Has(log.substr(from, log.find('\n', from + 1) - from), "sip:2001@")) << log;
    EXPECT_TRUE(Has(log, "Proxy-Authorization: Digest username=\"2001\""));
    // The exchange relays: the outside phone is offered its port, not the caller's.
    EXPECT_FALSE(Has(log.substr(invite), "m=audio " + std::to_string(callerSink.Port())));
    std::string packet;
    EXPECT_TRUE(callerSink.Receive(packet, 1000)) << "no audio reached the caller";
    EXPECT_TRUE(outsideSink.Receive(packet, 1000)) << "no audio reached the outside phone";
    char name[64];
    LCallLogFileName(name, sizeof name, time(nullptr));
    EXPECT_TRUE(WaitForFileText(vela.LogFolder() + "/" + name, "101", 5000, &log)) << log;

    // Granted 20 s: the refresh left 10 s later with the stored credentials.
    ASSERT_TRUE(WaitForRegisters(kLineID, 3, 15000)) << kamailio.Log();
    EXPECT_TRUE(Has(Registers(kLineID)[2], "CSeq: 4 REGISTER"));
    EXPECT_FALSE(Has(vela.Process().Output(), "Register attempt for proxy"));

    // The wrong password: its challenge answered once, then quiet.
    std::vector<std::string> wrong = Registers("2002");
    EXPECT_EQ(wrong.size(), 2u);
    EXPECT_TRUE(Has(vela.Process().Output(), "Register authorization failed for 2002@"));
    EXPECT_TRUE(Has(vela.Process().Output(), "Check username or password for the proxy server."));

    std::string list = Panel("externallist");
    EXPECT_TRUE(Has(list, "registered until ")) << list;
    EXPECT_TRUE(Has(list, "failed: 401 Unauthorized, next attempt ")) << list;

    int64_t stopAt = MonotonicMs();
    EXPECT_TRUE(vela.Stop(SIGTERM, 3000));
    EXPECT_LT(MonotonicMs() - stopAt, 3000);
    // The last REGISTER of the line (after any further refresh) ends it.
    EXPECT_TRUE(WaitUntil([&] { return Has(Registers(kLineID).back(), ";expires=0;"); }, 2000));
    EXPECT_FALSE(Has(kamailio.DumpLocations(), Binding()));
}
// The provider forks a call to two phones registered for one number, and
// both answer at once: it passes both 2xx on (RFC 3261 section 16.7). The
// call goes on with the first; the second is acknowledged and hung up in a
// dialog of its own, through the provider, while the first talks on.
TEST_F(LineProviderTest, ACallForkedToTwoPhonesGoesOnWithTheFirstAnswer)
{
    AddLine("prov", kLineID, kLinePassword);
    LPBXOutboundPlan plan;
    ASSERT_TRUE(LPBXOutboundPlanList().CreateNewRecord(plan, "default"));
    ASSERT_TRUE(plan.GetDialBasedRuleList().AddRule("9", 1, "", "prov"));
    StartVela();
    int firstPort = FreeUdpPort(), secondPort = FreeUdpPort();
    ASSERT_TRUE(Register(kOutside, kOutsidePassword, firstPort, kamailio.Address()));
    ASSERT_TRUE(Register(kOutside, kOutsidePassword, secondPort, kamailio.Address()));
    ASSERT_TRUE(vela.Process().WaitForOutput("Registered as: sip:2001@", 10000))
        << vela.Process().Output();
    auto first = StartPhone("fork_phone.xml", firstPort);
    auto second = StartPhone("fork_phone.xml", secondPort);
    auto caller = StartCaller("fork_caller.xml", std::string("9") + kOutside);
    // One phone is hung up at once, the other when the caller hangs up two
    // seconds later.
    int64_t ended[2] = {0, 0};
    ChildProcess *phones[2] = {first.get(), second.get()};
    WaitUntil(
        [&] {
            for (int i = 0; i < 2; i++)
                if (!ended[i] && phones[i]->WaitExit(0))
                    ended[i] = MonotonicMs();
            return ended[0] && ended[1];
        },
        15000);
    ExpectSucceeded(caller, first, second);
    EXPECT_GT(std::abs(ended[1] - ended[0]), 1000) << "both phones ended together";
    EXPECT_TRUE(Has(vela.Process().Output(), "a second branch answered"))
        << vela.Process().Output();
}
// Real phones on both sides of the line: an outside baresip phone registered
// at the provider calls the line's number; the exchange rings 102, which
// answers, holds and resumes the call (re-INVITEs through the provider's
// Record-Route, each challenged), then transfers it blindly to a second
// outside phone, dialled out through the same line with the plan's 9. Then
// the line is deleted in the panel.
TEST_F(LineProviderTest, RealPhonesHoldAndTransferALineCall)
{
    AddLine("prov", kLineID, kLinePassword);
    LPBXOutboundPlan plan;
    ASSERT_TRUE(LPBXOutboundPlanList().CreateNewRecord(plan, "default"));
    ASSERT_TRUE(plan.GetDialBasedRuleList().AddRule("9", 1, "", "prov"));
    StartVela();
    ASSERT_TRUE(vela.Process().WaitForOutput("Registered as: sip:2001@", 10000))
        << vela.Process().Output();
    TempDir homes[3] = {TempDir{"vela-line-out"}, TempDir{"vela-line-102"},
                        TempDir{"vela-line-out2"}};
    const int cOut = FreeUdpPort(), c102 = FreeUdpPort(), cOut2 = FreeUdpPort();
    auto outside =
        StartBaresip(homes[0], kOutside, kOutsidePassword, kamailio.Address(), true, cOut);
    auto phone = StartBaresip(homes[1], "102", "pw102", Remote(), true, c102);
    auto target =
        StartBaresip(homes[2], kOutside2, kOutside2Password, kamailio.Address(), true, cOut2);
    ASSERT_TRUE(outside && phone && target);
    ASSERT_TRUE(vela.Process().WaitForOutput("Extension 102 is at", 10000))
        << vela.Process().Output();
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::string at = kamailio.DumpLocations();
            return Has(at, "sip:3001") && Has(at, "sip:3002");
        },
        10000))
        << outside->Output() << kamailio.Log();
    UdpPeer console;
    Console(console, cOut, std::string("/dial sip:") + kLineID + "@" + kamailio.Address());
    ASSERT_TRUE(phone->WaitForOutput("Call established", 10000))
        << phone->Output() << vela.Process().Output() << kamailio.Log();
    EXPECT_TRUE(Hears(console, cOut, c102));
    EXPECT_TRUE(Hears(console, c102, cOut));
    auto held = [&](bool hold) {
        Console(console, c102, hold ? "/hold" : "/resume");
        return WaitUntil(
            [&] {
                return Has(Console(console, cOut, "/audio_debug"),
                           hold ? "dir=recvonly" : "dir=sendrecv");
            },
            5000);
    };
    EXPECT_TRUE(held(true)) << vela.Process().Output() << kamailio.Log();
    EXPECT_TRUE(held(false)) << vela.Process().Output() << kamailio.Log();
    EXPECT_TRUE(Hears(console, cOut, c102));

    Console(console, c102, std::string("/transfer 9") + kOutside2);
    EXPECT_TRUE(vela.Process().WaitForOutput("Call transferred to sip:93002@", 10000))
        << vela.Process().Output();
    ASSERT_TRUE(target->WaitForOutput("Call established", 10000)) << target->Output();
    EXPECT_TRUE(Has(phone->Output(), "from sip:83001@")) << "the line's prefix 8 is missing";
    EXPECT_TRUE(Hears(console, cOut2, cOut));
    EXPECT_TRUE(Hears(console, cOut, cOut2));
    Console(console, cOut2, "/hangup");
    EXPECT_TRUE(outside->WaitForOutput("terminated", 10000)) << outside->Output();
    EXPECT_TRUE(vela.Process().WaitForOutput("disconnected", 10000));

    // The line deleted in the panel ends its binding at once, so that the
    // provider stops sending its calls here.
    EXPECT_EQ(HttpHeader(PanelPost("externaldelete", "id=prov&confirmed=yes"), "Location"),
              "externallist");
    EXPECT_TRUE(WaitUntil([&] { return Has(Registers(kLineID).back(), ";expires=0;"); }, 2000));
    EXPECT_FALSE(Has(kamailio.DumpLocations(), Binding()));

    for (ChildProcess *p : {outside.get(), phone.get(), target.get()})
        p->Stop(SIGTERM, 5000);
}
} // namespace
} // namespace vtest
