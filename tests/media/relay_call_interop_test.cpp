// Audio through the exchange's RTP relay on real calls: SIPp phones play RTP
// (play_pcap_audio) to whatever media address the exchange's SDP gives them,
// while their own SDP names an RTP receiver of the test. Packets reach a
// receiver only if the exchange rewrote both SDPs to its relay ports.
#include "../callcontrol/call_fixture.h"
#include "config/settingssections.h"
#include "media/codecs/sampleformats.h"
#include "media/rtp_packets.h"
#include "recorder_test_server.h"

#include <arpa/inet.h>
#include <cmath>
#include <poll.h>
#include <set>
#include <sys/time.h>

namespace vtest
{
namespace
{
constexpr int kPackets = 40;                  // 20 ms each: 800 ms of audio per side
constexpr int kRelayedPackets = kPackets + 1; // and one comfort-noise packet
constexpr int kFrameSamples = 160;
constexpr uint32_t kCallerSsrc = 0x1010;
constexpr uint32_t kCalleeSsrc = 0x2020;
constexpr double kCallerHz = 500, kCalleeHz = 1500;

void Put16(std::string &out, uint16_t v)
{
    out += (char)(v >> 8);
    out += (char)v;
}
void Put32(std::string &out, uint32_t v)
{
    Put16(out, (uint16_t)(v >> 16));
    Put16(out, (uint16_t)v);
}
void PutLE32(std::string &out, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        out += (char)(v >> (8 * i));
}

// A PCMU tone as a pcap of Ethernet/IPv4/UDP frames 20 ms apart; SIPp
// replaces the addresses and ports when it plays it. SIPp puts out its first
// two packets at once, which no phone does; the first packet is therefore
// comfort noise (payload type 13, relayed but never recorded), so the tone
// itself is paced like a phone's from its first packet on.
std::string TonePcap(uint32_t ssrc, double hz)
{
    std::string file;
    for (uint32_t v : {0xa1b2c3d4u, 0x00040002u, 0u, 0u, 65535u, 1u})
        PutLE32(file, v);
    for (int i = 0; i < kRelayedPackets; i++) {
        std::string rtp = {(char)0x80, (char)(i == 0 ? 13 : 0)};
        Put16(rtp, (uint16_t)i);
        Put32(rtp, (uint32_t)(i * kFrameSamples));
        Put32(rtp, ssrc);
        for (int n = 0; n < (i == 0 ? 1 : kFrameSamples); n++) {
            double t = (i * kFrameSamples + n) / 8000.0;
            rtp += i == 0
                       ? (char)60 // noise level -60 dBov (RFC 3389)
                       : (char)LG711::LinearToUlaw((int)(8000 * std::sin(2 * M_PI * hz * t)) * 16);
        }
        std::string udp;
        Put16(udp, 6000);
        Put16(udp, 6000);
        Put16(udp, (uint16_t)(8 + rtp.size()));
        Put16(udp, 0);
        std::string ip = {0x45, 0};
        Put16(ip, (uint16_t)(20 + udp.size() + rtp.size()));
        Put32(ip, 0);
        Put32(ip, 0x40110000); // TTL 64, UDP, checksum left to the player
        Put32(ip, 0x7f000001);
        Put32(ip, 0x7f000001);
        std::string frame = std::string(12, '\0') + std::string("\x08\x00", 2) + ip + udp + rtp;
        PutLE32(file, 0);
        PutLE32(file, (uint32_t)(i * 20000));
        PutLE32(file, (uint32_t)frame.size());
        PutLE32(file, (uint32_t)frame.size());
        file += frame;
    }
    return file;
}

struct RtpSeen {
    int packets = 0;
    std::set<uint32_t> ssrcs;
    std::set<uint16_t> sequences;
    std::set<int> sourcePorts;
    double firstMs = 1e18, lastMs = 0; // kernel receive times
    int audioPackets = 0;              // payload type 0
    double firstAudioMs = 1e18;
};

// Milliseconds of audio from the start of either tone to the end of the
// later one, each packet counted as its 20 ms from its tone's first arrival.
double AudioSpanMs(const RtpSeen &a, const RtpSeen &b)
{
    return std::max(a.firstAudioMs + 20.0 * a.audioPackets,
                    b.firstAudioMs + 20.0 * b.audioPackets) -
           std::min(a.firstAudioMs, b.firstAudioMs);
}

// The RTP end named in a phone's SDP: datagrams queue in the socket until
// the call is over and are read then.
class RtpSink
{
  public:
    explicit RtpSink(const char *ip)
    {
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, ip, &a.sin_addr);
        int size = 1 << 20;
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        int on = 1;
        setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMP, &on, sizeof on);
        bind(fd_, (sockaddr *)&a, sizeof a);
        socklen_t length = sizeof a;
        getsockname(fd_, (sockaddr *)&a, &length);
        port_ = ntohs(a.sin_port);
    }
    ~RtpSink() { close(fd_); }
    int Port() const { return port_; }
    RtpSeen Drain()
    {
        RtpSeen seen;
        pollfd p{fd_, POLLIN, 0};
        unsigned char buffer[2048];
        while (poll(&p, 1, 300) == 1) {
            sockaddr_in from{};
            iovec io{buffer, sizeof buffer};
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timeval))];
            msghdr m{&from, sizeof from, &io, 1, control, sizeof control, 0};
            ssize_t n = recvmsg(fd_, &m, 0);
            cmsghdr *c = CMSG_FIRSTHDR(&m);
            double ms = 1e18;
            if (c != nullptr && c->cmsg_type == SO_TIMESTAMP) {
                const timeval *t = (const timeval *)CMSG_DATA(c);
                ms = t->tv_sec * 1000.0 + t->tv_usec / 1000.0;
                seen.firstMs = std::min(seen.firstMs, ms);
                seen.lastMs = std::max(seen.lastMs, ms);
            }
            if (n < 12)
                continue;
            seen.packets++;
            if ((buffer[1] & 0x7F) == 0) {
                seen.audioPackets++;
                seen.firstAudioMs = std::min(seen.firstAudioMs, ms);
            }
            seen.sequences.insert((uint16_t)(buffer[2] << 8 | buffer[3]));
            seen.ssrcs.insert((uint32_t)buffer[8] << 24 | buffer[9] << 16 | buffer[10] << 8 |
                              buffer[11]);
            seen.sourcePorts.insert(ntohs(from.sin_port));
        }
        return seen;
    }

  private:
    int fd_ = -1;
    int port_ = 0;
};

class RelayCallTest : public CallTest
{
  protected:
    void SetUp() override
    {
        CallTest::SetUp();
        // A base of our own, so parallel test runs do not meet on 8000.
        rtpBase = 20000 + (FreeUdpPort() % 20000) * 2;
        ASSERT_TRUE(LSettingSetInt("SIP", "RTPPortBase", rtpBase));
        std::ofstream(media.Path() + "/caller.pcap") << TonePcap(kCallerSsrc, kCallerHz);
        std::ofstream(media.Path() + "/callee.pcap") << TonePcap(kCalleeSsrc, kCalleeHz);
    }

    // SIPp bound at ip (signalling and media), in the folder of the pcaps.
    std::unique_ptr<ChildProcess> Sipp(std::vector<std::string> argv, const char *ip, int sink)
    {
        for (size_t i = 0; i + 1 < argv.size(); i++)
            if (argv[i] == "-i")
                argv[i + 1] = ip;
        argv.insert(argv.end(), {"-mi", ip, "-mp", std::to_string(FreeUdpPort()), "-key",
                                 "sink_port", std::to_string(sink)});
        auto sipp = std::make_unique<ChildProcess>();
        EXPECT_TRUE(sipp->Start(argv, {}, media.Path()));
        return sipp;
    }
    bool RegisterAt(const char *user, const char *password, const char *ip, int port)
    {
        std::vector<std::string> argv =
            SippArgs("../../callcontrol/sipp/register.xml", port, Remote());
        argv.insert(argv.end(), {"-s", user, "-au", user, "-ap", password});
        auto reg = Sipp(argv, ip, 0);
        bool ok = Succeeded(*reg, 15000);
        EXPECT_TRUE(ok) << reg->Output();
        return ok;
    }
    // 101 at 127.0.0.1 calls 102 at calleeIp; both play their tone.
    void RunCall(const char *calleeIp, RtpSeen &atCaller, RtpSeen &atCallee)
    {
        RtpSink callerSink("127.0.0.1"), calleeSink(calleeIp);
        int phonePort = FreeUdpPort();
        ASSERT_TRUE(RegisterAt("102", "pw102", calleeIp, phonePort));
        auto phone = Sipp(SippArgs("relay_uas.xml", phonePort), calleeIp, calleeSink.Port());
        std::vector<std::string> argv = SippArgs("relay_uac.xml", FreeUdpPort(), Remote());
        argv.insert(argv.end(), {"-s", "102", "-au", "101", "-ap", kCallerPassword});
        auto caller = Sipp(argv, "127.0.0.1", callerSink.Port());
        EXPECT_TRUE(Succeeded(*caller)) << caller->Output();
        EXPECT_TRUE(Succeeded(*phone)) << phone->Output();
        atCaller = callerSink.Drain();
        atCallee = calleeSink.Drain();
    }
    // What a receiver must see: every packet of the far side's stream, sent
    // from one relay port of this exchange and not from the phone itself.
    void ExpectRelayed(const RtpSeen &seen, uint32_t ssrc, const char *side)
    {
        SCOPED_TRACE(side);
        EXPECT_EQ(seen.packets, kRelayedPackets);
        EXPECT_EQ(seen.audioPackets, kPackets);
        EXPECT_EQ(seen.sequences.size(), (size_t)kRelayedPackets);
        EXPECT_EQ(seen.ssrcs, std::set<uint32_t>{ssrc});
        ASSERT_EQ(seen.sourcePorts.size(), 1u);
        int port = *seen.sourcePorts.begin();
        EXPECT_GE(port, rtpBase); // the lowest free even ports from the base
        EXPECT_LT(port, rtpBase + 64);
        EXPECT_EQ(port % 2, 0);
    }

    TempDir media{"relay-media"};
    int rtpBase = 0;
};

// The caller is private (127.0.0.1) and the callee looks public (127.1.0.1):
// the exchange must relay, and audio flows both ways through it.
TEST_F(RelayCallTest, PrivateCallerToPublicPhoneIsRelayedBothWays)
{
    StartVela();
    RtpSeen atCaller, atCallee;
    RunCall("127.1.0.1", atCaller, atCallee);
    ExpectRelayed(atCaller, kCalleeSsrc, "at the caller");
    ExpectRelayed(atCallee, kCallerSsrc, "at the callee");
    EXPECT_NE(atCaller.sourcePorts, atCallee.sourcePorts);
}

// Two private phones need no relay, but a recorded call goes through it: the
// recording server gets both voices mixed, as long as the audio lasted.
TEST_F(RelayCallTest, RecordedCallStreamsBothVoicesMixed)
{
    RecordingServer server;
    ASSERT_TRUE(LSettingSetString("Recorder", "TallyHost", server.Entry().c_str()));
    LPBXExtension ext;
    ASSERT_TRUE(LPBXExtensionList().Open(ext, "101"));
    ASSERT_TRUE(ext.SetRecordOutgoing(true));
    StartVela();
    RtpSeen atCaller, atCallee;
    RunCall("127.0.0.1", atCaller, atCallee);
    ExpectRelayed(atCaller, kCalleeSsrc, "at the caller");
    ExpectRelayed(atCallee, kCallerSsrc, "at the callee");

    ASSERT_TRUE(server.WaitClosed(1, 20000)) << vela.Process().Output();
    RecordingReceived got = server.Get(0);
    EXPECT_FALSE(got.badPacket);
    EXPECT_NE(got.fileName.find("sip:101@"), std::string::npos) << got.fileName;
    EXPECT_NE(got.fileName.find("sip:102@"), std::string::npos) << got.fileName;
    // As long as the audio of both sides together lasted, within a frame.
    double spanFrames = AudioSpanMs(atCaller, atCallee) / 20;
    EXPECT_GE(spanFrames, kPackets);
    EXPECT_GE(got.frames.size(), spanFrames - 1);
    EXPECT_LE(got.frames.size(), spanFrames + 1) << "span " << spanFrames;
    std::vector<int> audio = RecordingServer::Decode(got.frames);
    EXPECT_GT(ToneShare(audio, kCallerHz), 0.2);
    EXPECT_GT(ToneShare(audio, kCalleeHz), 0.2);
    EXPECT_LT(ToneShare(audio, 1000), 0.02);
}
} // namespace
} // namespace vtest
