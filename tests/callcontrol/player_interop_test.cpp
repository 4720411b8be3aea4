// The exchange's own player on the wire: a caller queued for a group with
// hold music is answered by the exchange and hears the stock hold melody
// (RTP captured and decoded here), and a caller that never acknowledges its
// 200 leaves the phone that answered with a BYE, not a CANCEL.
#include "call_fixture.h"

#include "media/codecs/sampleformats.h"
#include "support/tone.h"
#include "support/udp_peer.h"

#include <cmath>
#include <cstdio>
#include <sstream>
#include <unistd.h>

namespace vtest
{
namespace
{
struct Capture {
    int packets = 0;
    int otherPayloads = 0;
    std::vector<int> audio;
};

// PCMU packets arriving at rtp for ms milliseconds from the first one,
// decoded.
Capture CaptureRtp(UdpPeer &rtp, int ms)
{
    Capture capture;
    std::string packet;
    if (!rtp.Receive(packet, 10000))
        return capture;
    for (int64_t end = MonotonicMs() + ms; MonotonicMs() < end;
         packet.clear(), rtp.Receive(packet, 200)) {
        if (packet.size() < 12)
            continue;
        capture.packets++;
        if ((packet[1] & 0x7F) != 0) {
            capture.otherPayloads++;
            continue;
        }
        for (size_t i = 12 + 4 * (packet[0] & 0x0F); i < packet.size(); i++)
            capture.audio.push_back(LG711::UlawToLinear((unsigned char)packet[i]));
    }
    return capture;
}

// User plus system CPU time of a process, in clock ticks.
long CpuTicks(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; i++)
        fields >> skip;
    long user = 0, system = 0;
    fields >> user >> system;
    return user + system;
}

class PlayerTest : public CallTest
{
  protected:
    // 101 calling target and listening on rtpPort for ms, then hanging up;
    // with ack "none" it never acknowledges the 200.
    std::unique_ptr<ChildProcess> Listen(const char *target, int rtpPort, int ms,
                                         const char *ack = "yes")
    {
        auto sipp = std::make_unique<ChildProcess>();
        std::vector<std::string> argv = SippArgs("uac_listen.xml", FreeUdpPort(), Remote());
        argv.insert(argv.end(),
                    {"-s", target, "-au", "101", "-ap", kCallerPassword, "-key", "rtp_port",
                     std::to_string(rtpPort), "-key", "ack", ack, "-d", std::to_string(ms)});
        EXPECT_TRUE(sipp->Start(argv));
        return sipp;
    }
};

TEST_F(PlayerTest, QueuedCallerHearsTheHoldMelody)
{
    AddGroup("600", {{"102", 0}}, "-");
    StartVela();
    int phonePort = FreeUdpPort();
    ASSERT_TRUE(Register("102", "pw102", phonePort));
    UdpPeer phone(phonePort), firstRtp, secondRtp;
    ASSERT_TRUE(phone.IsOpen());
    // The first caller holds the group's queue: its member rings, silent.
    auto first = Listen("600", firstRtp.Port(), 9000);
    std::string invite;
    ASSERT_TRUE(phone.Receive(invite, 5000)) << vela.Process().Output() << first->Output();
    std::string ringingCallId = HeaderLine(invite, "Call-ID");
    auto second = Listen("600", secondRtp.Port(), 5000);
    long cpuBefore = CpuTicks(vela.Process().Pid());
    Capture heard = CaptureRtp(secondRtp, 3000);
    // Figure: the exchange's CPU while it plays to these two callers.
    printf("CPU per held caller: %.2f%% of one core\n",
           100.0 * (CpuTicks(vela.Process().Pid()) - cpuBefore) / sysconf(_SC_CLK_TCK) / 3 / 2);

    // 20 ms packets for at least 3 s of listening.
    EXPECT_GE(heard.packets, 140);
    EXPECT_EQ(heard.otherPayloads, 0);
    // Every sounding 40 ms block is one of the melody's notes, never the
    // ringing tone's 400 or 450 Hz.
    const double notes[] = {523.25, 587.33, 659.25, 783.99, 880};
    int sounding = 0, melodic = 0, ringing = 0;
    for (size_t at = 0; at + 320 <= heard.audio.size(); at += 320) {
        const int *block = heard.audio.data() + at;
        double power = 0;
        for (int i = 0; i < 320; i++)
            power += (double)block[i] * block[i];
        if (power / 320 < 1e6) // quieter than -45 dBFS: a gap between notes
            continue;
        sounding++;
        double best = 0;
        for (double hz : notes)
            best = std::max(best, ToneShare(block, 320, hz));
        melodic += best > 0.25;
        ringing += ToneShare(block, 320, 400) + ToneShare(block, 320, 450) > 0.25;
    }
    EXPECT_GE(sounding, 40);
    EXPECT_GE(melodic, sounding * 8 / 10);
    EXPECT_EQ(ringing, 0);
    // The queued call rang nobody: every INVITE the member saw is the first call's.
    while (phone.Receive(invite, 100))
        if (invite.rfind("INVITE ", 0) == 0) {
            EXPECT_EQ(HeaderLine(invite, "Call-ID"), ringingCallId);
        }
    EXPECT_TRUE(Succeeded(*second)) << second->Output();
    EXPECT_TRUE(Succeeded(*first)) << first->Output();
}

std::string Answer(const std::string &invite, int port)
{
    std::string sdp =
        "v=0\r\no=phone 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
        "m=audio 7000 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\n";
    std::string text = "SIP/2.0 200 OK\r\n";
    for (const char *name : {"Via", "From", "To", "Call-ID", "CSeq"})
        text += HeaderLine(invite, name) + (std::string(name) == "To" ? ";tag=ph" : "") + "\r\n";
    return text + "Contact: <sip:102@127.0.0.1:" + std::to_string(port) +
           ">\r\nContent-Type: application/sdp\r\nContent-Length: " + std::to_string(sdp.size()) +
           "\r\n\r\n" + sdp;
}

// RFC 3261 section 15: once the phone's dialog exists it can only be ended
// with a BYE; a CANCEL after its 200 would leave it in a call nobody ends.
TEST_F(PlayerTest, CallerThatNeverAcksLeavesTheAnsweringPhoneAByeNotACancel)
{
    StartVela();
    int phonePort = FreeUdpPort();
    ASSERT_TRUE(Register("102", "pw102", phonePort));
    UdpPeer phone(phonePort);
    ASSERT_TRUE(phone.IsOpen());
    UdpPeer rtp;
    auto caller = Listen("102", rtp.Port(), 0, "none");
    std::string invite, message;
    ASSERT_TRUE(phone.Receive(invite, 5000));
    ASSERT_EQ(invite.rfind("INVITE ", 0), 0u) << invite;
    ASSERT_TRUE(phone.SendTo(sipPort, Answer(invite, phonePort)));
    bool acked = false, byed = false, cancelled = false;
    // The exchange gives up on the caller's ACK after 32 s.
    int64_t end = MonotonicMs() + 45000;
    while (!byed && MonotonicMs() < end) {
        if (!phone.Receive(message, 1000))
            continue;
        acked = acked || message.rfind("ACK ", 0) == 0;
        cancelled = cancelled || message.rfind("CANCEL ", 0) == 0;
        byed = message.rfind("BYE ", 0) == 0;
    }
    EXPECT_EQ(HeaderLine(message, "Call-ID"), HeaderLine(invite, "Call-ID"));
    EXPECT_TRUE(acked);
    EXPECT_TRUE(byed);
    EXPECT_FALSE(cancelled);
    EXPECT_TRUE(Succeeded(*caller)) << caller->Output();
}
} // namespace
} // namespace vtest
