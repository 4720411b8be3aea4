// Audio through the relay on real calls: SIPp phones play RTP to the address
// the exchange's SDP gives them while their own SDP names a receiver of the
// test, which gets packets only if both SDPs were rewritten to the relay.
#include "config/pbx_global_settings.h"
#include "config/settingssections.h"
#include "media/rtp_packets.h"
#include "media/rtp_test_support.h"
#include "media/sdp_decoder.h"
#include "media/wave_bytes.h"
#include "media_call_fixture.h"
#include "recorder_test_server.h"

#include <set>

namespace vtest
{
namespace
{
constexpr int kPackets = 40;                  // 20 ms each: 800 ms of audio per side
constexpr int kRelayedPackets = kPackets + 1; // and one comfort-noise packet
constexpr uint32_t kCallerSsrc = 0x1010, kCalleeSsrc = 0x2020;
constexpr double kCallerHz = 500, kCalleeHz = 1500;

std::string Be(uint32_t v, int bytes)
{
    std::string out;
    for (int i = bytes - 1; i >= 0; i--)
        out += (char)(v >> (8 * i));
    return out;
}

// A PCMU tone as a pcap of frames 20 ms apart. SIPp sends its first two
// packets at once, so the first is comfort noise (RFC 3389, relayed but never
// recorded) and the tone is paced like a phone's from its first packet on.
std::string TonePcap(uint32_t ssrc, double hz)
{
    std::string file;
    for (uint32_t v : {0xa1b2c3d4u, 0x00040002u, 0u, 0u, 65535u, 1u})
        file += LE(v, 4);
    for (int i = 0; i < kRelayedPackets; i++) {
        std::string rtp = RtpPacket((uint16_t)i, (uint32_t)i * 160, ssrc, i == 0 ? 13 : 0,
                                    i == 0 ? std::string(1, (char)60) : UlawTone(i, hz, 8000));
        std::string udp = Be(6000, 2) + Be(6000, 2) + Be(8 + rtp.size(), 2) + Be(0, 2) + rtp;
        // TTL 64, UDP, checksum left to the player; 127.0.0.1 both ways.
        std::string ip = "\x45" + Be(0, 1) + Be(20 + udp.size(), 2) + Be(0, 4) + Be(0x40110000, 4) +
                         Be(0x7f000001, 4) + Be(0x7f000001, 4);
        std::string frame = std::string(12, '\0') + Be(0x0800, 2) + ip + udp;
        file += LE(0, 4) + LE(i * 20000, 4) + LE(frame.size(), 4) + LE(frame.size(), 4) + frame;
    }
    return file;
}

struct RtpSeen {
    int packets = 0, audioPackets = 0; // audio: payload type 0
    std::set<uint32_t> ssrcs;
    std::set<uint16_t> sequences;
    std::set<int> sourcePorts;
    double firstAudioMs = 1e18; // kernel receive time
};

// Milliseconds of audio from the start of either tone to the end of the
// later one, each packet counted as its 20 ms from its tone's first arrival.
double AudioSpanMs(const RtpSeen &a, const RtpSeen &b)
{
    return std::max(a.firstAudioMs + 20.0 * a.audioPackets,
                    b.firstAudioMs + 20.0 * b.audioPackets) -
           std::min(a.firstAudioMs, b.firstAudioMs);
}

// The RTP end named in a phone's SDP: datagrams queue in the socket with the
// kernel's receive time until the call is over and are read then.
struct RtpSink : UdpPeer {
    explicit RtpSink(const char *ip) : UdpPeer(0, ip) { TimeArrivals(1 << 20); }
    RtpSeen Drain()
    {
        RtpSeen seen;
        std::string packet;
        int64_t atUs = 0;
        int port = 0;
        while (ReceiveTimed(packet, 300, atUs, &port)) {
            if (packet.size() < 12)
                continue;
            seen.packets++;
            if ((packet[1] & 0x7F) == 0) {
                seen.audioPackets++;
                seen.firstAudioMs = std::min(seen.firstAudioMs, atUs / 1000.0);
            }
            seen.sequences.insert((uint16_t)RtpWord(packet, 2, 2));
            seen.ssrcs.insert(RtpWord(packet, 8, 4));
            seen.sourcePorts.insert(port);
        }
        return seen;
    }
};

// The SDP body of the first message in SIPp's message log whose start line
// begins with startLine.
std::string BodyOf(const std::string &path, const std::string &startLine)
{
    std::string log = ReadFile(path);
    size_t at = log.find("\n" + startLine);
    if (at == std::string::npos)
        return "";
    size_t body = log.find("\n\n", at);
    size_t crlf = log.find("\r\n\r\n", at);
    body = std::min(body == std::string::npos ? log.size() : body + 2,
                    crlf == std::string::npos ? log.size() : crlf + 4);
    size_t end = log.find("\n\n----", body);
    return body < log.size() ? log.substr(body, end == std::string::npos ? end : end - body) : "";
}

class RelayCallTest : public MediaCallTest
{
  protected:
    void SetUp() override
    {
        MediaCallTest::SetUp();
        std::ofstream(folder.Path() + "/caller.pcap") << TonePcap(kCallerSsrc, kCallerHz);
        std::ofstream(folder.Path() + "/callee.pcap") << TonePcap(kCalleeSsrc, kCalleeHz);
    }
    // 101 at 127.0.0.1 calls callee at calleeIp; both play their tone.
    void RunCall(const char *callee, const char *calleeIp, RtpSeen &atCaller, RtpSeen &atCallee)
    {
        RtpSink callerSink("127.0.0.1"), calleeSink(calleeIp);
        int phonePort = FreeUdpPort();
        ASSERT_TRUE(RegisterAt(callee, calleeIp, phonePort));
        auto phone =
            Sipp(SippArgs("relay_uas.xml", phonePort), calleeIp, Media(calleeIp, calleeSink));
        auto caller = Caller("relay_uac.xml", "127.0.0.1", Media("127.0.0.1", callerSink), callee);
        EXPECT_TRUE(Succeeded(*caller)) << caller->Output();
        EXPECT_TRUE(Succeeded(*phone)) << phone->Output();
        atCaller = callerSink.Drain();
        atCallee = calleeSink.Drain();
    }
    static std::vector<std::string> Media(const char *ip, const RtpSink &sink)
    {
        std::string port = std::to_string(FreeUdpPort()), sinkPort = std::to_string(sink.Port());
        return {"-mi", ip, "-mp", port, "-key", "sink_port", sinkPort};
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
};

// One exchange, three calls. First the caller is private (127.0.0.1) and the
// callee looks public (127.1.0.1): the exchange must relay, and audio flows
// both ways through it. Then two private phones, which need no relay, on a
// recorded call: it goes through the relay all the same, and the recording
// server gets both voices mixed, as long as the audio lasted. Last,
// "Quality" and "Active" changed while the exchange runs reach the next call.
TEST_F(RelayCallTest, PublicCalleeAndRecordedCallAreRelayedThenSettingsReachTheNextCall)
{
    RecordingServer server;
    ASSERT_TRUE(LSettingSetString("Recorder", "TallyHost", server.Entry().c_str()));
    StartVela();
    RtpSeen atCaller, atCallee;
    RunCall("102", "127.1.0.1", atCaller, atCallee);
    ExpectRelayed(atCaller, kCalleeSsrc, "at the caller");
    ExpectRelayed(atCallee, kCallerSsrc, "at the callee");
    EXPECT_NE(atCaller.sourcePorts, atCallee.sourcePorts);
    EXPECT_EQ(server.Connections(), 0u); // 101 does not record yet

    // The extension is read at each INVITE: the next call is recorded.
    LPBXExtension ext;
    ASSERT_TRUE(LPBXExtensionList().Open(ext, "101"));
    ASSERT_TRUE(ext.SetRecordOutgoing(true));
    RunCall("103", "127.0.0.1", atCaller, atCallee);
    ExpectRelayed(atCaller, kCalleeSsrc, "recorded, at the caller");
    ExpectRelayed(atCallee, kCallerSsrc, "recorded, at the callee");

    ASSERT_TRUE(server.WaitClosed(1, 20000)) << vela.Process().Output();
    RecordingReceived got = server.Get(0);
    EXPECT_FALSE(got.badPacket);
    EXPECT_NE(got.fileName.find("sip:101@"), std::string::npos) << got.fileName;
    EXPECT_NE(got.fileName.find("sip:103@"), std::string::npos) << got.fileName;
    // As long as the audio of both sides together lasted, within a frame.
    double spanFrames = AudioSpanMs(atCaller, atCallee) / 20;
    EXPECT_GE(spanFrames, kPackets);
    EXPECT_GE(got.frames.size(), spanFrames - 1);
    EXPECT_LE(got.frames.size(), spanFrames + 1) << "span " << spanFrames;
    std::vector<int> audio = RecordingServer::Decode(got.frames);
    EXPECT_GT(::ToneShare(audio, kCallerHz), 0.2);
    EXPECT_GT(::ToneShare(audio, kCalleeHz), 0.2);
    EXPECT_LT(::ToneShare(audio, 1000), 0.02);

    // 101 behind a NAT (127.1.0.2) calls public 104 (127.1.0.1), asks for the
    // exchange's own offer with an in-dialog OPTIONS while it rings, and
    // cancels. (Reading the store at each offer is the dialog services' and
    // the mediator's unit tests' part; here, the running engine's.)
    ASSERT_TRUE(ext.SetRecordOutgoing(false));
    LPBXSettings::SipQuality.Set(20);
    LPBXSettings::SipActive.Set(true);
    AddExtension("104", "pw104");
    const std::string callerLog = folder.Path() + "/caller", phoneLog = folder.Path() + "/phone";
    int phonePort = FreeUdpPort();
    ASSERT_TRUE(RegisterAt("104", "127.1.0.1", phonePort));
    auto phone = Sipp(SippArgs("../../callcontrol/sipp/uas_cancelled.xml", phonePort), "127.1.0.1",
                      {"-trace_msg", "-message_file", phoneLog});
    auto caller = Caller("uac_options_ringing.xml", "127.1.0.2",
                         {"-trace_msg", "-message_file", callerLog}, "104");
    EXPECT_TRUE(Succeeded(*caller)) << caller->Output();
    EXPECT_TRUE(Succeeded(*phone)) << phone->Output();
    // The exchange's own offer in the OPTIONS answer, and the relayed offer.
    std::string offer = BodyOf(callerLog, "SIP/2.0 200 OK\r\n");
    std::string invite = BodyOf(phoneLog, "INVITE ");
    EXPECT_EQ(LSDPDecoder(offer).GetRemotePayLoadTypes(), "3 96 0 8 13 101") << offer;
    EXPECT_NE(offer.find("a=direction:active"), std::string::npos) << offer;
    ASSERT_NE(invite.find("m=audio "), std::string::npos) << invite;
    EXPECT_NE(invite.find("a=direction:active"), std::string::npos) << invite;
}
} // namespace
} // namespace vtest
