// Classification of new INVITEs: hop limit, calls on lines, calls from
// extensions behind a proxy challenge, and unknown parties.
#include "callcontrol/new_invite.h"
#include "registrar_fixture.h"

#include <regex>
#include <vector>

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
        // The provider sends from the test requests' default source.
        line.SetServer("10.0.0.5:5070");
        line.SetOutboundProxy("10.0.0.6");
        line.SetRingOnLine("101");
        line.SetRecordIncoming(true);
        line.SetAlwaysRelay(true);
        line.SetRelayNotNeeded(true);
        line.SetProhibitOddRtp(true);
        LPBXExtension ext = MakeExtension("101", "pw");
        ext.SetOutboundPlan("Local");
    }
    const LPBXCallStart &Started() const { return responder.started.back(); }
    // What the last call started with, besides its target list.
    std::string StartedWith() const
    {
        const LPBXCallStart &s = Started();
        return "user " + s.localUserId + " auth " + s.localAuthId + " plan " + s.outboundPlan +
               " caller " + s.caller + " target " + s.dialledTarget + " record \"" +
               s.recordDescription + "\" flags " + std::to_string(s.remoteSpecialFlags);
    }
    int StartCount() const { return (int)responder.started.size(); }
    // The answer to this INVITE; status 0 when a call thread took it.
    Answer Invite(const std::string &uri, const std::string &from, const std::string &extra = "",
                  const char *source = "10.0.0.5:5060", const char *to = "sip:200@pbx")
    {
        auto m = Request("INVITE", uri,
                         "From: <sip:" + from + "@10.0.0.5>;tag=1\r\nTo: <" + to + ">\r\n" + extra,
                         source);
        responder.answers.clear();
        LPBXHandleInvite(*m, guards, responder, kNow);
        return responder.Last();
    }
};
} // namespace

TEST_F(NewInvite, HopLimit)
{
    for (std::string value : {"0", "-3", "abc"})
        EXPECT_EQ(Invite("sip:5551000@pbx", "777", "Max-Forwards: " + value + "\r\n").status, 483);
    EXPECT_EQ(StartCount(), 0);
    Invite("sip:5551000@pbx", "777");
    ASSERT_EQ(StartCount(), 1);
    EXPECT_EQ(Started().maxForwards, 19);
}

TEST_F(NewInvite, CallOnLineWinsOverExtension)
{
    Invite("sip:5551000@pbx", "101");
    ASSERT_EQ(StartCount(), 1);
    // The caller gets the default caller-ID prefix "9".
    EXPECT_EQ(StartedWith(), "user 5551000 auth 5551000 plan - caller sip:9101@10.0.0.5 target 101 "
                             "record \"101 -> <sip:200@pbx>\" flags " +
                                 std::to_string(kRemoteOddRTPDisabled | kRemoteAlwaysRelay));
}

TEST_F(NewInvite, ExtensionMustAnswerProxyChallenge)
{
    const Answer &challenge = Invite("sip:200@pbx", "101");
    EXPECT_EQ(challenge.status, 407);
    EXPECT_EQ(challenge.extra.rfind("Proxy-Authenticate: Digest realm=\"", 0), 0u);
    EXPECT_EQ(ChallengeParm(challenge.extra, "stale"), "FALSE");
    std::string nonce = ChallengeParm(challenge.extra, "nonce");
    EXPECT_EQ(StartCount(), 0);

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
    EXPECT_EQ(StartCount(), 0);
    Invite("sip:200@pbx", "101",
           "Proxy-Authorization: " + Credentials("101", "pw", "INVITE", "sip:200@pbx", nonce) +
               "\r\n");
    ASSERT_EQ(StartCount(), 1);
    EXPECT_EQ(StartedWith(),
              "user 200 auth 200 plan Local caller 101 target sip:200@pbx record \"\" flags 0");
}

TEST_F(NewInvite, UnknownPartiesAndNoCallThread)
{
    EXPECT_EQ(Invite("sip:200@pbx", "999").status, 407);
    responder.acceptCalls = false;
    Invite("sip:5551000@pbx", "999");
    ASSERT_EQ(responder.answers.size(), 2u);
    EXPECT_EQ(responder.answers[0].status, 100);
    EXPECT_EQ(responder.answers[1].status, 480);
}

// Credentials cover the Request-URI; the call goes where To says. Both must
// name the same user.
TEST_F(NewInvite, RequestUriAndToMustNameTheSameUser)
{
    auto call = [&](const char *uri, const char *to) {
        std::string auth = Answering("101", "101", "pw", "INVITE", uri);
        return Invite(uri, "101", "Proxy-Authorization: " + auth + "\r\n", "10.0.0.5:5060", to)
            .status;
    };
    EXPECT_EQ(call("sip:102@pbx", "sip:103@pbx"), 403);
    EXPECT_EQ(call("sip:102@pbx", "sip:pbx"), 403);
    EXPECT_EQ(StartCount(), 0);
    EXPECT_EQ(call("sip:102@pbx", "sip:102@10.0.0.1"), 0);
    // A Request-URI without a user names no one the To could differ from.
    EXPECT_EQ(call("sip:pbx", "sip:103@pbx"), 0);
    EXPECT_EQ(StartCount(), 2);
}

// A line with a server takes calls only from its server or outbound proxy;
// anyone else is answered as a caller the exchange does not know, which is
// the answer an unknown extension gets too.
TEST_F(NewInvite, LineIdOnlyFromItsServerAndStrangersLookAlike)
{
    // clang-format off
    struct { const char *uri, *from, *source; int status; } cases[] = {
        {"sip:5551000@pbx", "777", "10.0.0.5:5999", 0}, {"sip:5551000@pbx", "777", "10.0.0.6:5060", 0},
        {"sip:5551000@pbx", "777", "10.0.0.66:5060", 407}, {"sip:200@pbx", "777", "10.0.0.66:5060", 407},
        {"sip:200@pbx", "101", "10.0.0.66:5060", 407},
    };
    // clang-format on
    std::string first;
    for (const auto &c : cases) {
        const Answer &a = Invite(c.uri, c.from, "", c.source);
        EXPECT_EQ(a.status, c.status) << c.uri << " from " << c.source;
        std::string shape = std::regex_replace(a.extra, std::regex("nonce=\"[0-9a-f]+\""), "");
        if (c.status == 407 && first.empty()) {
            first = shape;
        } else if (c.status == 407) {
            EXPECT_EQ(shape, first);
        }
    }
    EXPECT_EQ(StartCount(), 2);
}

TEST_F(NewInvite, UnauthenticatedCallsPerSourceAreCapped)
{
    LPBXExternalLine open;
    LPBXExternalLineList().Open(open, "door");
    open.SetLineID("300");
    open.SetRingOnLine("101");
    LPBXSettings::SipMaxCallsPerSource.Set(2);
    for (int i = 0; i < 2; i++)
        EXPECT_EQ(Invite("sip:300@pbx", "x", "", "10.0.0.70:5060").status, 0);
    EXPECT_EQ(Invite("sip:300@pbx", "x", "", "10.0.0.70:5062").status, 503);
    EXPECT_EQ(Invite("sip:300@pbx", "x", "", "10.0.0.71:5060").status, 0);
    EXPECT_EQ(guards.calls.GetCount(LIPAddressWithPort(0x0a000046, 5060)), 2);
    responder.started.clear(); // the calls end
    EXPECT_EQ(guards.calls.GetCount(LIPAddressWithPort(0x0a000046, 5060)), 0);
    EXPECT_EQ(Invite("sip:300@pbx", "x", "", "10.0.0.70:5060").status, 0);
    // A provider (a line with a server) is not held to the cap.
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(Invite("sip:5551000@pbx", "x", "", "10.0.0.5:5060").status, 0);
}
