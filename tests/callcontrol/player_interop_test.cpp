// The exchange's own player on the wire, heard as a phone hears it: the RTP
// it sends is captured and decoded here, and every 40 ms block is labelled by
// the tone that carries it (the test's announcement, the stock hold melody,
// the stock ring, a phone's own tone) or as silence.
#include "call_fixture.h"

#include "media/codecs/sampleformats.h"
#include "support/tone.h"
#include "support/udp_peer.h"

#include <algorithm>
#include <cmath>
#include <regex>
#include <thread>

namespace vtest
{
namespace
{
constexpr double kAnnouncementHz = 300, kMemberHz = 1400;

struct Tone {
    char label;
    double hz;
};
// clang-format off
const Tone kTones[] = {
    {'A', kAnnouncementHz}, {'T', kMemberHz},                               // made here
    {'M', 523.25}, {'M', 587.33}, {'M', 659.25}, {'M', 783.99}, {'M', 880}, // Hold.wav's notes
    {'R', 400}, {'R', 450},                                                 // Ringing.wav's
};
// clang-format on

// One label per 40 ms block: '.' quieter than -54 dBFS, else the first tone
// holding more than a quarter of the block's power, else '?'.
std::string Labels(const std::vector<int> &audio)
{
    std::string labels;
    for (size_t at = 0; at + 320 <= audio.size(); at += 320) {
        const int *block = audio.data() + at;
        double power = 0;
        for (int i = 0; i < 320; i++)
            power += (double)block[i] * block[i];
        char label = power / 320 < 1e6 ? '.' : '?';
        for (const Tone &tone : kTones)
            if (label == '?' && ToneShare(block, 320, tone.hz) > 0.25)
                label = tone.label;
        labels += label;
    }
    return labels;
}

// The PCMU audio arriving at rtp for ms milliseconds from its first packet,
// labelled.
std::string Hear(UdpPeer &rtp, int ms)
{
    std::vector<int> audio;
    std::string packet;
    if (!rtp.Receive(packet, 10000))
        return "";
    for (int64_t end = MonotonicMs() + ms; MonotonicMs() < end;
         packet.clear(), rtp.Receive(packet, 200)) {
        if (packet.size() < 12 || (packet[1] & 0x7F) != 0)
            continue;
        for (size_t i = 12 + 4 * (packet[0] & 0x0F); i < packet.size(); i++)
            audio.push_back(LG711::UlawToLinear((unsigned char)packet[i]));
    }
    return Labels(audio);
}

bool Matches(const std::string &labels, const char *pattern)
{
    return std::regex_search(labels, std::regex(pattern));
}

long Count(const std::string &labels, char label)
{
    return std::count(labels.begin(), labels.end(), label);
}

// Packet seq of a phone's own tone: PCMU, 20 ms, -12 dBFS.
std::string TonePacket(int seq)
{
    uint32_t ts = seq * 160;
    std::string packet(12, '\0'); // version 2, payload type 0, SSRC 0
    packet[0] = '\x80';
    packet[2] = char(seq >> 8), packet[3] = char(seq);
    for (int i = 0; i < 4; i++)
        packet[4 + i] = char(ts >> (24 - 8 * i));
    for (uint32_t i = ts; i < ts + 160; i++)
        packet +=
            (char)LG711::LinearToUlaw(lround(8000 * 16 * sin(2 * M_PI * kMemberHz * i / 8000)));
    return packet;
}

using PlayerTest = CallTest;

class QueuedCaller : public PlayerTest, public ::testing::WithParamInterface<const char *>
{
};

// A member busy with a first call holds the group's queue. The next caller
// (offering in its INVITE, or only in its ACK) is answered by the player and
// hears the group's announcement, then the hold melody, while the member is
// left alone; once the first call is refused the member is offered this one,
// answers, and the caller hears the member.
TEST_P(QueuedCaller, HearsTheAnnouncementThenHoldMusicThenTheMember)
{
    std::string sox = "sox -n -r 8000 -b 16 -c 1 '" + vela.SharedDataFolder() +
                      "/Welcome.wav' synth 1 sine " + std::to_string(int(kAnnouncementHz));
    ASSERT_EQ(system(sox.c_str()), 0);
    AddGroup("600", {{"102", 0}}, "-", "Welcome.wav");
    StartVela();
    auto phone = RawPhone("102");
    ASSERT_TRUE(phone);
    UdpPeer callerRtp, phoneRtp;
    const int phonePort = phone->Port();
    auto first = StartCaller("uac_call_remote_bye.xml", "600", {"-key", "rtp_port", "0"});
    std::string firstInvite = NextRequest(*phone, "INVITE");
    ASSERT_FALSE(firstInvite.empty()) << vela.Process().Output() << first->Output();
    std::string firstCallId = HeaderLine(firstInvite, "Call-ID");
    ASSERT_TRUE(phone->SendTo(sipPort, PhoneResponse(firstInvite, "100 Trying", phonePort)));

    auto caller =
        StartCaller(GetParam(), "600", {"-key", "rtp_port", std::to_string(callerRtp.Port())});
    // The whole 1 s announcement (25 blocks), then only the melody.
    std::string heard = Hear(callerRtp, 3000);
    EXPECT_TRUE(Matches(heard, "^A{24,25}[.?]?M[M.?]*$")) << heard;
    EXPECT_GE(Count(heard, 'M'), 30) << heard;
    std::string message;
    while (phone->Receive(message, 100))
        if (message.rfind("INVITE ", 0) == 0) {
            EXPECT_EQ(HeaderLine(message, "Call-ID"), firstCallId) << "the queue was jumped";
        }

    ASSERT_TRUE(phone->SendTo(sipPort, PhoneResponse(firstInvite, "603 Decline", 0)));
    std::string invite = NextRequest(*phone, "INVITE", firstCallId);
    ASSERT_FALSE(invite.empty()) << vela.Process().Output();
    ASSERT_TRUE(
        phone->SendTo(sipPort, PhoneResponse(invite, "200 OK", phonePort, phoneRtp.Port())));
    // The caller's answer reaches the member in the ACK of its 200.
    std::string ack = NextRequest(*phone, "ACK", firstCallId);
    size_t media = ack.find("m=audio ");
    ASSERT_NE(media, std::string::npos) << ack << vela.Process().Output();
    for (std::string stale; callerRtp.Receive(stale, 0);) {
    }
    std::thread member([&] {
        for (int seq = 0; seq < 60; seq++) {
            phoneRtp.SendTo(atoi(ack.c_str() + media + 8), TonePacket(seq));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    heard = Hear(callerRtp, 1500);
    member.join();
    EXPECT_TRUE(Matches(heard, "^[T.]*$")) << heard;
    EXPECT_GE(Count(heard, 'T'), 25) << heard;

    std::string bye = NextRequest(*phone, "BYE");
    EXPECT_TRUE(phone->SendTo(sipPort, PhoneResponse(bye, "200 OK", phonePort)));
    ExpectSucceeded(caller, first);
}

INSTANTIATE_TEST_SUITE_P(Offers, QueuedCaller,
                         ::testing::Values("uac_queued.xml", "uac_queued_late.xml"),
                         [](const auto &info) {
                             return std::string(info.index ? "OfferInAck" : "OfferInInvite");
                         });

// Refused before any phone rings: the player has no codec in common. RFC
// 3261 section 9.1: a busy member's INVITE is complete once its 486 is
// acknowledged; the member is offered the call again by a fresh INVITE, and
// the refused one is never cancelled.
TEST_F(PlayerTest, NoSharedCodecIsRefusedAndABusyMemberIsRetriedWithoutACancel)
{
    AddGroup("600", {{"102", 0}}, "-");
    StartVela();
    auto phone = RawPhone("102");
    ASSERT_TRUE(phone);
    auto refused = StartCaller("uac_no_shared_codec.xml", "600", {"-key", "rtp_port", "0"});
    EXPECT_TRUE(Succeeded(*refused)) << refused->Output();
    std::string message;
    EXPECT_FALSE(phone->Receive(message, 1000)) << message;

    UdpPeer rtp;
    auto caller = StartCaller("uac_listen.xml", "600",
                              {"-key", "rtp_port", std::to_string(rtp.Port()), "-d", "20000"});
    std::string invite = NextRequest(*phone, "INVITE"), methods;
    ASSERT_FALSE(invite.empty()) << vela.Process().Output();
    ASSERT_TRUE(phone->SendTo(sipPort, PhoneResponse(invite, "180 Ringing", phone->Port())));
    ASSERT_TRUE(phone->SendTo(sipPort, PhoneResponse(invite, "486 Busy Here", phone->Port())));
    for (int64_t end = MonotonicMs() + 15000; MonotonicMs() < end;) {
        if (!phone->Receive(message, 500))
            continue;
        methods += message.substr(0, message.find(' ')) + " ";
        if (HeaderLine(message, "Call-ID") != HeaderLine(invite, "Call-ID"))
            break;
    }
    EXPECT_TRUE(Matches(methods, "^(INVITE )*ACK INVITE $")) << methods;
}

// 101 hands its call with 102 over to 103 (REFER); while 103 rings, 102
// hears the stock double ring followed by 2 s of silence.
TEST_F(PlayerTest, BlindTransferredPartyHearsRingingWhileTheTargetRings)
{
    StartVela();
    int phonePort = RegisteredPort("102"), targetPort = RegisteredPort("103");
    ASSERT_TRUE(phonePort && targetPort);
    UdpPeer rtp;
    auto phone = StartPhone("uas_transferee_listens.xml", phonePort,
                            {"-key", "rtp_port", std::to_string(rtp.Port())});
    auto target = StartPhone("uas_slow_target.xml", targetPort);
    auto caller = StartCaller("uac_blind_transfer.xml", "102", {"-key", "rtp_port", "0"});
    // 0.4 s on, 0.2 s off, 0.4 s on, then the 2 s pause (50 blocks).
    std::string heard = Hear(rtp, 4500);
    EXPECT_TRUE(Matches(heard, "^R{9,10}[.?]{4,6}R{9,10}[.?]{48,52}R")) << heard;
    ExpectSucceeded(caller, target, phone);
}
} // namespace
} // namespace vtest
