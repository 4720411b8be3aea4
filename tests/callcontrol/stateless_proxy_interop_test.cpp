// SUBSCRIBE, NOTIFY and their answers through the real exchange between
// SIPp phones registered as 101 and 102, and raw UDP peers for what an
// attacker could make the exchange send.
#include "call_fixture.h"

#include <filesystem>

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

class ProxyWire : public CallTest
{
  protected:
    // SIPp with its messages logged to log.
    std::unique_ptr<ChildProcess> Sipp(const std::string &scenario, int port,
                                       const std::string &log, std::vector<std::string> extra)
    {
        extra.insert(extra.end(), {"-trace_msg", "-message_file", work.Path() + "/" + log});
        return StartPhone(scenario, port, extra);
    }
    std::string Log(const std::string &name) { return ReadFile(work.Path() + "/" + name); }

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
    ExpectSucceeded(caller, phone);
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

// A contact that is the exchange's own address on the wire is never sent
// to: the one datagram the exchange sends for a SUBSCRIBE to 102 is the 480
// to the sender.
TEST_F(ProxyWire, SubscribeToTheExchangeItselfNeverLoops)
{
    LSettingSetBool("Settings", "SipTraceOn", true);
    AddContact("102", Uri("102"));
    StartVela();
    UdpPeer sender;
    std::string answer, more;
    ASSERT_TRUE(sender.SendTo(sipPort, RawRequest("SUBSCRIBE", Uri("102"), sender.Port(), "200",
                                                  "sip:102@127.0.0.1", "loop",
                                                  "Event: presence\r\nExpires: 600\r\n")));
    ASSERT_TRUE(sender.Receive(answer, 3000));
    EXPECT_EQ(answer.rfind("SIP/2.0 480 Temporarily Unavailable\r\n", 0), 0u) << answer;
    EXPECT_FALSE(sender.Receive(more, 500)) << more;
    std::string trace;
    for (const auto &file : std::filesystem::directory_iterator(vela.LogFolder()))
        if (file.path().string().ends_with("SipTrace.txt"))
            trace += ReadFile(file.path().string());
    EXPECT_EQ(Count(trace, "UDP Packet Sent to"), 1u) << trace;
    EXPECT_EQ(Count(trace, "UDP Packet Received from"), 1u) << trace;
}
} // namespace
} // namespace vtest
