// Classification of new INVITEs: hop limit, calls on lines, calls from
// extensions behind a proxy challenge, and unknown parties.
#include "callcontrol/new_invite.h"
#include "registrar_fixture.h"

namespace
{
class NewInvite : public RegistrarTest
{
  protected:
    void SetUp() override
    {
        RegistrarTest::SetUp();
        LPBXExternalLine line;
        LPBXExternalLineList().Open(line, "trunk");
        line.SetLineID("5551000");
        line.SetServer("sip.example.net");
        line.SetRingOnLine("101");
        line.SetRecordIncoming(true);
        line.SetAlwaysRelay(true);
        line.SetRelayNotNeeded(true);
        line.SetProhibitOddRtp(true);
        LPBXExtension ext = MakeExtension("101", "pw");
        ext.SetOutboundPlan("Local");
    }
    const LPBXCallStart &Started() const { return responder.started.back(); }
    const Answer &Invite(const std::string &uri, const std::string &from,
                         const std::string &extra = "", int64_t now = kNow)
    {
        auto m =
            Request("INVITE", uri,
                    "From: <sip:" + from + "@10.0.0.5>;tag=1\r\nTo: <sip:200@pbx>\r\n" + extra);
        LPBXHandleInvite(*m, responder, now);
        return responder.Last();
    }
};
} // namespace

TEST_F(NewInvite, HopLimit)
{
    for (const char *value : {"0", "-3", "abc"}) {
        EXPECT_EQ(
            Invite("sip:5551000@pbx", "777", std::string("Max-Forwards: ") + value + "\r\n").status,
            483)
            << value;
    }
    EXPECT_EQ((int)responder.started.size(), 0);
    Invite("sip:5551000@pbx", "777");
    ASSERT_EQ((int)responder.started.size(), 1);
    EXPECT_EQ(Started().maxForwards, 19);
}

TEST_F(NewInvite, CallOnLineWinsOverExtension)
{
    Invite("sip:5551000@pbx", "101");
    ASSERT_EQ((int)responder.started.size(), 1);
    EXPECT_EQ(Started().localUserId, "5551000");
    EXPECT_EQ(Started().localAuthId, "5551000");
    EXPECT_EQ(Started().dialledTarget, "101");
    EXPECT_EQ(Started().outboundPlan, "-");
    EXPECT_EQ(Started().caller, "sip:9101@10.0.0.5"); // default caller-ID prefix "9"
    EXPECT_EQ(Started().recordDescription, "101 -> <sip:200@pbx>");
    EXPECT_EQ(Started().remoteSpecialFlags, kRemoteOddRTPDisabled | kRemoteAlwaysRelay);
}

TEST_F(NewInvite, ExtensionMustAnswerProxyChallenge)
{
    const Answer &challenge = Invite("sip:200@pbx", "101");
    EXPECT_EQ(challenge.status, 407);
    EXPECT_EQ(challenge.extra.rfind("Proxy-Authenticate: Digest realm=\"", 0), 0u);
    EXPECT_EQ(ChallengeParm(challenge.extra, "stale"), "TRUE");
    std::string nonce = ChallengeParm(challenge.extra, "nonce");
    EXPECT_EQ((int)responder.started.size(), 0);

    const Answer &wrong =
        Invite("sip:200@pbx", "101",
               "Proxy-Authorization: " + Credentials("101", "bad", "INVITE", "sip:200@pbx", nonce) +
                   "\r\n");
    EXPECT_EQ(wrong.status, 407);
    EXPECT_EQ(ChallengeParm(wrong.extra, "stale"), "FALSE");
    // Credentials for REGISTER do not place calls.
    Invite("sip:200@pbx", "101",
           "Proxy-Authorization: " + Credentials("101", "pw", "REGISTER", "sip:200@pbx", nonce) +
               "\r\n");
    EXPECT_EQ((int)responder.started.size(), 0);
    Invite("sip:200@pbx", "101",
           "Proxy-Authorization: " + Credentials("101", "pw", "INVITE", "sip:200@pbx", nonce) +
               "\r\n");
    ASSERT_EQ((int)responder.started.size(), 1);
    EXPECT_EQ(Started().outboundPlan, "Local");
    EXPECT_EQ(Started().caller, "101");
    EXPECT_EQ(Started().localUserId, "200");
    EXPECT_EQ(Started().dialledTarget, "sip:200@pbx");
    EXPECT_EQ(Started().recordDescription, "");
    EXPECT_EQ(Started().remoteSpecialFlags, 0);
}

TEST_F(NewInvite, UnknownPartiesAndNoCallThread)
{
    EXPECT_EQ(Invite("sip:200@pbx", "999").status, 404);
    responder.acceptCalls = false;
    size_t before = responder.answers.size();
    Invite("sip:5551000@pbx", "999");
    ASSERT_EQ(responder.answers.size(), before + 2);
    EXPECT_EQ(responder.answers[before].status, 100);
    EXPECT_EQ(responder.answers[before].reason, "Trying");
    EXPECT_EQ(responder.answers[before + 1].status, 480);
    EXPECT_EQ(responder.answers[before + 1].reason, "Temporarily Unavailable");
}
