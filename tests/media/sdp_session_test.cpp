// The exchange's own endpoint: offer text and codec negotiation.
#include <gtest/gtest.h>

#include <string>

#include "media/sdp_decoder.h"
#include "media/sdp_session.h"
#include "sdp_fakes.h"

namespace
{

class SdpSession : public ::testing::Test
{
  protected:
    static std::string Peer(const std::string &payloads, const std::string &extra = "")
    {
        return "v=0\r\nc=IN IP4 198.51.100.9\r\nm=audio 30000 RTP/AVP " + payloads + "\r\n" + extra;
    }
    FixedSdpSettings settings;
};

TEST_F(SdpSession, OfferVariantsFollowSettingsAndAddresses)
{
    settings.quality = 20;
    settings.active = true;
    LSDPSession session(settings);
    session.Initialize("203.0.113.5", 8000, "192.168.1.2", 8010);
    std::string offer;
    session.CreateOfferSDP(offer, true);
    LSDPDecoder d(offer);
    EXPECT_EQ(d.GetRemotePayLoadTypes(), "3 96 0 8 13 101");
    EXPECT_EQ(d.GetRemoteHost(), "203.0.113.5");
    EXPECT_NE(offer.find("a=sendonly\r\na=direction:active\r\na=local:192.168.1.2 8010\r\n"
                         "a=domain:203.0.113.5\r\n"),
              std::string::npos);
}

TEST_F(SdpSession, DefaultSdpHasNoAddress)
{
    std::string sdp;
    LSDPSession::CreateDefaultSDP(settings, sdp);
    EXPECT_NE(sdp.find("\r\nc=IN IP4 \r\n"), std::string::npos);
    EXPECT_NE(sdp.find("\r\nm=audio 0 RTP/AVP 0 8 96 3 13 101\r\n"), std::string::npos);
}

TEST_F(SdpSession, NegotiationTable)
{
    // answerList: the payload list of our answer
    // clang-format off
    const struct { const char *name; int quality; std::string peer; bool ok; const char *answerList; int audio, cn, te; } cases[] = {
        {"G729 skipped", 50, Peer("18 0", "a=rtpmap:18 G729/8000\r\n"), true, "0", 0, 255, 255},
        {"only G729", 50, Peer("18", "a=rtpmap:18 G729/8000\r\n"), false, "", 255, 255, 255},
        {"peer prefers GSM", 50, Peer("3 0 8"), true, "3 0 8", 3, 255, 255},
        {"G.711 first", 50, Peer("0 3"), true, "0 3", 0, 255, 255},
        {"low bandwidth wins", 20, Peer("0 8 3"), true, "3 0 8", 3, 255, 255},
        {"G726 on peer's number", 20, Peer("0 97", "a=rtpmap:97 G726-32/8000\r\n"), true, "97 0", 97, 255, 255},
        {"events without rtpmap", 50, Peer("8 101"), true, "8 101", 8, 255, 101},
        {"CN on 98", 50, Peer("0 98", "a=rtpmap:98 CN/8000\r\n"), true, "0 98", 0, 98, 255},
        {"events alone carry no audio", 50, Peer("101 13"), false, "", 255, 13, 101},
        {"numbers modulo 256", 50, Peer("256 x 264"), true, "0 8", 0, 255, 255},
        {"no m line", 50, "v=0\r\nc=IN IP4 10.0.0.1\r\n", false, "", 255, 255, 255},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        settings.quality = c.quality;
        LSDPSession session(settings);
        session.Initialize("203.0.113.5", 8000, "203.0.113.5", 8000);
        std::string answer;
        EXPECT_EQ(session.CreateAnswerSDP(answer, c.peer, false), c.ok);
        EXPECT_EQ(session.GetAudioPayload(), c.audio);
        if (!c.ok) {
            EXPECT_TRUE(answer.empty());
            continue;
        }
        EXPECT_EQ(session.GetComfortNoisePayload(), c.cn);
        EXPECT_EQ(session.GetTelephoneEventPayload(), c.te);
        EXPECT_EQ(LSDPDecoder(answer).GetRemotePayLoadTypes(), c.answerList);
        EXPECT_EQ(session.GetRemoteRTPHost(), "198.51.100.9");
        EXPECT_EQ(session.GetRemoteRTPAudioPort(), 30000);
    }
}

TEST_F(SdpSession, PeerBehindOurNatIsReachedOnItsLan)
{
    LSDPSession session(settings);
    session.Initialize("203.0.113.5", 8000, "192.168.1.2", 8000);
    std::string answer;
    ASSERT_TRUE(session.CreateAnswerSDP(
        answer,
        "c=IN IP4 203.0.113.5\r\nm=audio 9000 RTP/AVP 0\r\na=local:192.168.1.50 4000\r\n"
        "a=domain:203.0.113.5\r\n",
        false));
    EXPECT_EQ(session.GetRemoteRTPHost(), "192.168.1.50");
    EXPECT_EQ(session.GetRemoteRTPAudioPort(), 4000);
    LSDPDecoder d(answer);
    EXPECT_EQ(d.GetRemoteHost(), "192.168.1.2"); // our LAN side
    EXPECT_FALSE(d.GetRemoteDirectionActive());

    // Without its LAN address we can only answer where its packets come from.
    ASSERT_TRUE(session.ReceiveAnswerSDP("c=IN IP4 203.0.113.5\r\nm=audio 9000 RTP/AVP 0\r\n"));
    EXPECT_TRUE(session.GetRemoteDirectionActive());
}

TEST_F(SdpSession, HoldAddressIsNoDestination)
{
    LSDPSession session(settings);
    session.Initialize("203.0.113.5", 8000, "203.0.113.5", 8000);
    ASSERT_TRUE(
        session.ReceiveAnswerSDP("c=IN IP4 0.0.0.0\r\nm=audio 9000 RTP/AVP 0\r\na=sendonly\r\n"));
    EXPECT_TRUE(session.GetRemoteHold());
    EXPECT_FALSE(session.GetRemoteDestination().valid);
    ASSERT_TRUE(session.ReceiveAnswerSDP("c=IN IP4 198.51.100.3\r\nm=audio 9000 RTP/AVP 0\r\n"));
    EXPECT_TRUE(session.GetRemoteDestination().valid);
    EXPECT_EQ(session.GetRemoteDestination().ip, 0xC6336403u);
}
} // namespace
