// Decoding and re-encoding of SDP bodies as real phones send them, and of
// hostile ones.
#include <gtest/gtest.h>

#include <string>

#include "media/sdp.h"
#include "media/sdp_decoder.h"

namespace
{
// g726Type: GetRtpMap("G726-32", 255) as decimal
// clang-format off
struct PhoneSdp { const char *name; const char *text; size_t lines; const char *host; uint16_t port; const char *payloads; bool hold; const char *g726Type; };
const PhoneSdp kPhones[] = {
    {"desk phone G.711 and events", "v=0\r\no=- 8421 8421 IN IP4 192.168.1.20\r\ns=-\r\nc=IN IP4 192.168.1.20\r\nt=0 0\r\nm=audio 2222 RTP/AVP 0 8 18 101\r\na=rtpmap:0 PCMU/8000\r\na=rtpmap:8 PCMA/8000\r\na=rtpmap:18 G729/8000\r\na=rtpmap:101 telephone-event/8000\r\na=fmtp:101 0-15\r\na=ptime:20\r\na=sendrecv\r\n", 13, "192.168.1.20", 2222, "0 8 18 101", false, "255"},
    {"GSM and G.726-32 with rtcp attribute", "v=0\r\no=user 1 2 IN IP4 10.0.0.5\r\ns=call\r\nc=IN IP4 10.0.0.5\r\nt=0 0\r\nm=audio 49170 RTP/AVP 3 96 101\r\na=rtpmap:3 GSM/8000\r\na=rtpmap:96 G726-32/8000\r\na=rtpmap:101 telephone-event/8000\r\na=rtcp:49171 IN IP4 10.0.0.5\r\n", 10, "10.0.0.5", 49170, "3 96 101", false, "96"},
    {"hold the old way and the new way", "v=0\r\no=- 5 6 IN IP4 198.51.100.7\r\ns=-\r\nc=IN IP4 0.0.0.0\r\nt=0 0\r\nm=audio 3456 RTP/AVP 8\r\na=rtpmap:8 PCMA/8000\r\na=sendonly\r\n", 8, "0.0.0.0", 3456, "8", true, "255"},
    {"audio and video, media-level c lines", "v=0\r\no=- 1 1 IN IP4 172.16.4.4\r\ns=-\r\nt=0 0\r\nm=audio 5000 RTP/AVP 0\r\nc=IN IP4 172.16.4.4\r\nm=video 5002 RTP/AVP 34\r\nc=IN IP4 172.16.4.5\r\n", 8, "172.16.4.5", 5000, "0", false, "255"},
    {"no c line at all", "v=0\r\no=- 1 1 IN IP4 192.0.2.1\r\ns=-\r\nt=0 0\r\nm=audio 7078 RTP/AVP 0 2\r\n", 5, "", 7078, "0 2", false, "255"},
    {"secure RTP", "v=0\r\no=- 9 9 IN IP4 192.0.2.44\r\ns=-\r\nc=IN IP4 192.0.2.44\r\nt=0 0\r\nm=audio 16384 RTP/SAVP 0 101\r\na=crypto:1 AES_CM_128_HMAC_SHA1_80 inline:PS1uQCVeeCFCanVmcjkpPywjNWhcYD0mXXtxaVBR\r\n", 7, "192.0.2.44", 16384, "0 101", false, "255"},
};
// clang-format on

TEST(SdpModel, PhoneBodiesDecodeAndRoundTrip)
{
    for (const PhoneSdp &phone : kPhones) {
        SCOPED_TRACE(phone.name);
        LSDP sdp(phone.text);
        EXPECT_EQ(sdp.Items().size(), phone.lines);
        std::string saved;
        sdp.Save(saved);
        EXPECT_EQ(saved, phone.text);

        LSDPDecoder decoder(sdp);
        EXPECT_EQ(decoder.GetRemoteHost(), phone.host);
        EXPECT_EQ(decoder.GetRemoteRTPAudioPort(), phone.port);
        EXPECT_EQ(decoder.GetRemotePayLoadTypes(), phone.payloads);
        EXPECT_EQ(decoder.GetRemoteHold(), phone.hold);
        EXPECT_EQ(std::to_string(decoder.GetRtpMap("g726-32", 255)), phone.g726Type);
    }
}

TEST(SdpModel, LooseLineFormsReadAlike)
{
    // Bare LF, LF CR, blanks around "=", blank lines and a line without "=".
    LSDP sdp("v = 0\n\n\nc=IN IP4 10.1.1.1\n\rm =audio 4000 RTP/AVP 0\r\n  junk\r\n");
    std::string saved;
    sdp.Save(saved);
    EXPECT_EQ(saved, "v=0\r\nc=IN IP4 10.1.1.1\r\nm=audio 4000 RTP/AVP 0\r\njunk=\r\n");
}

TEST(SdpModel, OwnAttributesAndRtpMapLookups)
{
    LSDPDecoder d("c=IN IP4 203.0.113.5\r\nm=audio 9000 RTP/AVP 0 101 102\r\n"
                  "a=rtpmap:101 telephone-event/8000\r\na=rtpmap:102 telephone-event/16000\r\n"
                  "a=rtpmap:-4 PCMU/8000\r\na=direction: ACTIVE\r\n"
                  "a=local:192.168.7.7 4002\r\na=domain:203.0.113.5\r\na=sendrecv\r\n");
    EXPECT_EQ(d.GetRtpMap("telephone-event", 0), 102); // last line wins
    EXPECT_EQ(d.GetRtpMap("telephone-event/8000", 7), 7);
    EXPECT_EQ(d.GetRtpMap("PCMU", 9), 9); // negative payload numbers are ignored
    EXPECT_TRUE(d.GetRemoteDirectionActive());
    EXPECT_FALSE(d.GetRemoteHold());
    EXPECT_EQ(d.GetRemoteHostPrivate(), "192.168.7.7");
    EXPECT_EQ(d.GetRemoteRTPAudioPortPrivate(), 4002);
    EXPECT_EQ(d.GetRemoteHostPrivateDomain(), "203.0.113.5");
}

TEST(SdpModel, HostileInputGivesClearEmptyResults)
{
    const std::string huge(100000, 'x');
    // clang-format off
    const struct Case { const char *name; std::string text; uint16_t port; std::string host; } cases[] = {
        {"no m line", "v=0\r\nc=IN IP4 10.0.0.1\r\n", 0, "10.0.0.1"},
        {"port too big", "m=audio 70000 RTP/AVP 0\r\n", 0, ""},
        {"port negative", "m=audio -2 RTP/AVP 0\r\n", 0, ""},
        {"port not a number", "m=audio abc RTP/AVP 0\r\n", 0, ""},
        {"port overflow", "m=audio 99999999999999999999999 RTP/AVP 0\r\n", 0, ""},
        {"not audio", "m=video 5000 RTP/AVP 0\r\n", 0, ""},
        {"truncated m", "m=audio\r\nc=\r\nc=IN\r\n", 0, ""},
        {"NUL ends the body", std::string("c=IN IP4 1.2.3.4\r\n\0m=audio 4000 RTP/AVP 0\r\n", 43), 0, "1.2.3.4"},
        {"huge host", "c=IN IP4 " + huge + "\r\nm=audio 4000 RTP/AVP 0\r\n", 4000, std::string(259 - 7, 'x')}, // the line is cut, "IN IP4 " included
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        LSDPDecoder d(c.text);
        EXPECT_EQ(d.GetRemoteRTPAudioPort(), c.port);
        EXPECT_EQ(d.GetRemoteHost(), c.host);
    }
}

TEST(SdpModel, HugeLinesAreCutAtTheFieldLimit)
{
    const std::string huge(50000, 'v');
    LSDP sdp("k" + huge + "=" + huge + "\r\na=rtpmap:96 " + huge + "/8000\r\n");
    ASSERT_EQ(sdp.Items().size(), 2u);
    EXPECT_EQ(sdp.Items()[0].GetKey().size(), 259u);
    EXPECT_EQ(sdp.Items()[0].GetValue().size(), 259u);
    EXPECT_EQ(sdp.Items()[1].GetValue().size(), 259u);
}

TEST(SdpModel, ManyRtpMapsStayBounded)
{
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += "a=rtpmap:" + std::to_string(i % 128) + " X" + std::to_string(i) + "/8000\r\n";
    text += "a=rtpmap:97 speex/8000\r\n";
    LSDPDecoder d(text);
    EXPECT_EQ(d.GetRtpMap("speex", 0), 97);
    EXPECT_EQ(d.GetRtpMap("X4999", 0), 4999 % 128);
}
} // namespace
