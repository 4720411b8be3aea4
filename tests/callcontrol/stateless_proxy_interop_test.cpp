// SUBSCRIBE, NOTIFY and their answers through the real exchange between
// SIPp phones registered as 101 and 102, and raw UDP peers for what an
// attacker could make the exchange send.
#include "call_fixture.h"

#include "config/pbx_contact.h"
#include "platform/tick.h"

#include <filesystem>
#include <iostream>

namespace vtest
{
namespace
{
size_t Count(const std::string &text, const std::string &part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        n++;
    return n;
}

std::string Subscribe(const std::string &user, int sipPort, int fromPort)
{
    std::string from = "127.0.0.1:" + std::to_string(fromPort);
    return "SUBSCRIBE sip:" + user + "@127.0.0.1:" + std::to_string(sipPort) +
           " SIP/2.0\r\nVia: SIP/2.0/UDP " + from + ";branch=z9hG4bK-amp\r\nMax-Forwards: 70\r\n" +
           "From: <sip:200@" + from + ">;tag=a\r\nTo: <sip:" + user +
           "@127.0.0.1>\r\nCall-ID: amp-1\r\nCSeq: 1 SUBSCRIBE\r\nContact: <sip:200@" + from +
           ">\r\nEvent: presence\r\nExpires: 600\r\nContent-Length: 0\r\n\r\n";
}

class ProxyWire : public CallTest
{
  protected:
    // SIPp with its messages logged to log.
    std::unique_ptr<ChildProcess> Sipp(const std::string &scenario, int port,
                                       const std::string &log, std::vector<std::string> extra)
    {
        std::vector<std::string> argv = SippArgs(scenario, port);
        extra.insert(extra.end(), {"-trace_msg", "-message_file", work.Path() + "/" + log});
        argv.insert(argv.end(), extra.begin(), extra.end());
        auto sipp = std::make_unique<ChildProcess>();
        EXPECT_TRUE(sipp->Start(argv));
        return sipp;
    }
    std::string Log(const std::string &name) { return ReadFile(work.Path() + "/" + name); }
    static void AddContact(const char *name, const std::string &contact)
    {
        LPBXExtension ext;
        ASSERT_TRUE(LPBXExtensionList().Open(ext, name));
        ASSERT_TRUE(ext.AddContact(contact.c_str(), (time_t)GetUnixTime() + 600, "0.5"));
    }

    TempDir work{"vela-proxy"};
};

// 101's SUBSCRIBE reaches 102 with 101's Via below the exchange's; 102's
// 200 comes back with the exchange's Via removed and is matched by SIPp to
// its own transaction, so nothing is sent twice.
TEST_F(ProxyWire, SubscribeBetweenRegisteredPhones)
{
    StartVela();
    int port101 = FreeUdpPort(), port102 = FreeUdpPort();
    ASSERT_TRUE(Register("101", kCallerPassword, port101));
    ASSERT_TRUE(Register("102", "pw102", port102));
    auto phone = Sipp("uas_event.xml", port102, "102.log", {});
    auto caller = Sipp("uac_subscribe.xml", port101, "101.log", {Remote(), "-s", "102"});
    EXPECT_TRUE(Succeeded(*caller)) << caller->Output();
    EXPECT_TRUE(Succeeded(*phone)) << phone->Output();
    std::string at102 = Log("102.log"), at101 = Log("101.log");
    EXPECT_EQ(Count(at102, "\nSUBSCRIBE sip:102@127.0.0.1:" + std::to_string(port102)), 1u)
        << at102;
    EXPECT_NE(at102.find("Via: SIP/2.0/UDP 127.0.0.1:" + std::to_string(sipPort) +
                         ";rport;branch=z9hG4bK"),
              std::string::npos);
    EXPECT_NE(at102.find("Max-Forwards: 69"), std::string::npos);
    EXPECT_EQ(Count(at101, "\nSUBSCRIBE sip:"), 1u) << at101;
    EXPECT_EQ(Count(at101, "\nVia: "), 2u) << at101; // one sent, one received
}

// baresip as 101 subscribes to message waiting (its own number, so its
// voice mail extension 102 gets it) and to 102's presence; each 200 reaches
// it as its own transaction, so it never repeats a SUBSCRIBE.
TEST_F(ProxyWire, BaresipSubscribesThroughTheExchange)
{
    LPBXExtension mailbox;
    ASSERT_TRUE(LPBXExtensionList().Open(mailbox, "101"));
    mailbox.SetVoiceMailExtension("102");
    StartVela();
    int port102 = FreeUdpPort();
    ASSERT_TRUE(Register("102", "pw102", port102));
    auto phone = Sipp("uas_event.xml", port102, "102.log", {"-m", "2"});
    std::string server = "127.0.0.1:" + std::to_string(sipPort);
    // mwi.so goes before account.so: baresip 1.0's mwi walks its list of
    // subscriptions 1 ms after loading and each subscription it makes joins
    // that list, so a registration answered within that millisecond sets
    // off an endless burst of new SUBSCRIBEs. Loaded first, that millisecond
    // runs while the account and the other modules load, before any answer
    // to the account's REGISTER can be read.
    std::ofstream(work.Path() + "/config")
        << "module_path /usr/lib/baresip/modules\nsip_listen 127.0.0.1:" << FreeUdpPort()
        << "\naudio_player aufile,/dev/null\naudio_source aufile,/dev/null\nmodule g711.so\n"
        << "module aufile.so\nmodule_app mwi.so\nmodule_app account.so\n"
        << "module_app contact.so\nmodule_app presence.so\n";
    std::ofstream(work.Path() + "/accounts")
        << "<sip:101@" << server << ";transport=udp>;auth_pass=" << kCallerPassword << "\n";
    std::ofstream(work.Path() + "/contacts") << "<sip:102@" << server << ">;presence=p2p\n";
    ChildProcess baresip;
    ASSERT_TRUE(baresip.Start({"/usr/bin/baresip", "-f", work.Path(), "-s"}));
    EXPECT_TRUE(Succeeded(*phone, 15000)) << phone->Output() << baresip.Output();
    // A SUBSCRIBE whose 200 went unmatched is repeated after 500 ms.
    baresip.WaitForOutput("never printed", 1500);
    std::string trace = baresip.Output(), at102 = Log("102.log");
    EXPECT_EQ(Count(trace, "SUBSCRIBE sip:101@" + server), 1u) << trace;
    EXPECT_EQ(Count(trace, "SUBSCRIBE sip:102@" + server), 1u) << trace;
    EXPECT_EQ(Count(trace, " SUBSCRIBE\r\n"), 4u) << trace; // two sent, two 200s
    EXPECT_NE(at102.find("Event: message-summary"), std::string::npos) << at102;
    EXPECT_NE(at102.find("Event: presence"), std::string::npos) << at102;
    baresip.Stop(SIGTERM, 5000);
}

// A contact that is the exchange itself is never sent to: the one datagram
// of the whole exchange is the 480 to the sender.
TEST_F(ProxyWire, ContactPointingAtTheExchangeIsNoLoop)
{
    LSettingSetBool("Settings", "SipTraceOn", true);
    AddContact("103", "sip:103@127.0.0.1:" + std::to_string(sipPort));
    StartVela();
    UdpPeer peer;
    std::string answer, more;
    ASSERT_TRUE(peer.SendTo(sipPort, Subscribe("103", sipPort, peer.Port())));
    ASSERT_TRUE(peer.Receive(answer, 3000));
    EXPECT_EQ(answer.rfind("SIP/2.0 480 Temporarily Unavailable\r\n", 0), 0u) << answer;
    EXPECT_FALSE(peer.Receive(more, 500)) << more;
    std::string trace;
    for (const auto &file : std::filesystem::directory_iterator(vela.LogFolder()))
        if (file.path().string().ends_with("SipTrace.txt"))
            trace += ReadFile(file.path().string());
    EXPECT_EQ(Count(trace, "UDP Packet Sent to"), 1u) << trace;
    EXPECT_EQ(Count(trace, "UDP Packet Received from"), 1u) << trace;
}

// One SUBSCRIBE to an extension with the most contacts a registrar keeps:
// one copy each, nothing back to the sender. The figure is printed.
TEST_F(ProxyWire, AmplificationForSixteenContacts)
{
    std::vector<std::unique_ptr<UdpPeer>> phones;
    for (int i = 0; i < 16; i++) {
        phones.push_back(std::make_unique<UdpPeer>());
        AddContact("103", "sip:103@127.0.0.1:" + std::to_string(phones.back()->Port()));
    }
    StartVela();
    UdpPeer sender;
    std::string request = Subscribe("103", sipPort, sender.Port());
    ASSERT_TRUE(sender.SendTo(sipPort, request));
    size_t out = 0;
    for (auto &phone : phones) {
        std::string copy, extra;
        ASSERT_TRUE(phone->Receive(copy, 3000));
        EXPECT_FALSE(phone->Receive(extra, 100)) << extra;
        out += copy.size();
    }
    std::string back;
    EXPECT_FALSE(sender.Receive(back, 200)) << back;
    double factor = (double)out / (double)request.size();
    std::cout << "amplification: " << request.size() << " bytes in, " << out
              << " bytes out, factor " << factor << "\n";
    // Each copy grows by the exchange's own Via line only.
    EXPECT_LE(out, 16 * (request.size() + 100));
}
} // namespace
} // namespace vtest
