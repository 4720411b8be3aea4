// Requests of a dialog on the wire: repeats until a response, give-up, and
// digest answers to 401/407 challenges.
#include "platform/md5.h"
#include "sip_call_fixture.h"

#include <cstring>

namespace vtest
{
namespace
{
class SipCallRequest : public SipCallTest
{
};

TEST_F(SipCallRequest, InviteIsRepeatedEveryIntervalUntilTheTimeLimitThen408)
{
    LPtr<LSipCall> call = Outgoing();
    LSipRequest invite;
    ASSERT_TRUE(invite.CreateNewInviteRequest(*call, "v=0\r\n", nullptr, 20, nullptr, false));
    LPtr<LSipMessage> response;
    uint64_t took = 0;
    auto result = Run([&] {
        uint64_t begin = LMonotonicMs();
        int status = call->SendRequestAndWaitForResponse(owner, invite, response, 450);
        took = LMonotonicMs() - begin;
        return status;
    });
    std::vector<Received> sent = peer.Drain(400);
    EXPECT_EQ(result.get(), 408);
    EXPECT_GE(took, 450u);
    EXPECT_LT(took, 800u);
    // Sent at 0, 100, 200, 300, 400 ms: five copies of one text.
    ASSERT_GE(sent.size(), 4u);
    ASSERT_LE(sent.size(), 6u);
    for (size_t i = 0; i < sent.size(); i++) {
        EXPECT_EQ(sent[i].text, sent[0].text);
        if (i > 0) {
            uint64_t gap = sent[i].at - sent[i - 1].at;
            EXPECT_GE(gap, 80u) << i;
            EXPECT_LE(gap, 180u) << i;
        }
    }
    EXPECT_STREQ(sent[0].message().GetRequest(), "INVITE");
    EXPECT_STREQ(sent[0].message().GetContent("application/sdp"), "v=0\r\n");
    EXPECT_FALSE(response);
}

TEST_F(SipCallRequest, ProvisionalStopsRepeatsAndFinalResponseIsReturned)
{
    LPtr<LSipCall> call = Outgoing();
    LSipRequest invite;
    invite.CreateNewInviteRequest(*call, nullptr, nullptr, 20, nullptr, false);
    LPtr<LSipMessage> response;
    auto result =
        Run([&] { return call->SendRequestAndWaitForResponse(owner, invite, response, 3000); });
    Received first;
    ASSERT_TRUE(peer.Next(first, 1000));
    peer.Reply(first.message(), 180, "Ringing");
    // A response to another request of the dialog is no answer to this one.
    peer.Reply(first.message(), 100, "Trying");
    std::vector<Received> after = peer.Drain(350);
    for (const Received &r : after)
        EXPECT_NE(r.text, first.text) << "INVITE repeated after a provisional response";
    peer.Reply(first.message(), 486, "Busy Here");
    EXPECT_EQ(result.get(), 486);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->GetResponseStatusCode(), 486);
}

// Independent composition of the RFC 2617 digest without qop.
std::string ExpectedDigest(const char *method, const char *uri, const char *nonce)
{
    char ha1[33], ha2[33], result[33];
    LMD5::HexOf("user100:vela.test:secret", ha1);
    LMD5::HexOf((std::string(method) + ":" + uri).c_str(), ha2);
    LMD5::HexOf((std::string(ha1) + ":" + nonce + ":" + ha2).c_str(), result);
    return result;
}

struct ChallengeCase {
    int status;
    const char *challengeField;
    const char *answerField;
    const char *secondChallenge; // null: the second request is accepted
    int expectedInvites;
    int expectedResult;
};

TEST_F(SipCallRequest, ChallengesAreAnsweredOnceAndRefusedCredentialsAreNotRetried)
{
    const ChallengeCase cases[] = {
        {401, "WWW-Authenticate", "Authorization", nullptr, 2, 200},
        {407, "Proxy-Authenticate", "Proxy-Authorization", nullptr, 2, 200},
        {401, "WWW-Authenticate", "Authorization", "nonce=\"n1\"", 2, 401},
        {407, "Proxy-Authenticate", "Proxy-Authorization", "nonce=\"n2\"", 2, 407},
        // A stale nonce is no refusal: answered again with the new nonce.
        {407, "Proxy-Authenticate", "Proxy-Authorization", "nonce=\"n3\", stale=TRUE", 3, 200},
    };
    for (const ChallengeCase &c : cases) {
        SCOPED_TRACE(c.status);
        LPtr<LSipCall> call = Outgoing();
        call->SetDialogEstablished();
        LSipRequest request;
        LPtr<LSipMessage> response;
        auto result = Run([&] {
            return call->SendReInviteAndWaitForFinalResponse(owner, request, response, "v=0\r\n");
        });
        std::string challenge = std::string(c.challengeField) +
                                ": Digest realm=\"vela.test\", nonce=\"n1\", opaque=\"op\"\r\n";
        Received r;
        int invites = 0;
        std::vector<std::string> answers;
        while (peer.Next(r, 600)) {
            if (strcmp(r.message().GetRequest(), "ACK") == 0)
                continue;
            ASSERT_STREQ(r.message().GetRequest(), "INVITE");
            invites++;
            const char *answer = r.message().FindField(c.answerField, nullptr);
            if (!answer) {
                peer.Reply(r.message(), c.status, "Unauthorized", challenge.c_str());
                continue;
            }
            std::string nonce = invites == 2 ? "n1" : c.secondChallenge ? "n3" : "n1";
            std::string digest =
                ExpectedDigest("INVITE", r.message().GetRequestURI(), nonce.c_str());
            EXPECT_NE(strstr(answer, ("response=\"" + digest + "\"").c_str()), nullptr) << answer;
            EXPECT_NE(strstr(answer, "username=\"user100\""), nullptr);
            EXPECT_NE(strstr(answer, invites == 2 ? "opaque=\"op\"" : "opaque=\"\""), nullptr);
            if (c.secondChallenge && invites == 2) {
                std::string again = std::string(c.challengeField) +
                                    ": Digest realm=\"vela.test\", " + c.secondChallenge + "\r\n";
                peer.Reply(r.message(), c.status, "Unauthorized", again.c_str());
            } else
                peer.Reply(r.message(), 200, "OK");
        }
        EXPECT_EQ(invites, c.expectedInvites);
        EXPECT_EQ(result.get(), c.expectedResult);
    }
}

TEST_F(SipCallRequest, ChallengeWithoutPasswordReturnsTheChallengeStatus)
{
    LPtr<LSipCall> call = Outgoing("");
    LSipRequest request;
    LPtr<LSipMessage> response;
    auto result = Run([&] {
        return call->SendReInviteAndWaitForFinalResponse(owner, request, response, nullptr);
    });
    Received r;
    ASSERT_TRUE(peer.Next(r, 1000));
    peer.Reply(r.message(), 407, "Proxy Authentication Required",
               "Proxy-Authenticate: Digest realm=\"x\", nonce=\"y\"\r\n");
    EXPECT_EQ(result.get(), 407);
    ASSERT_TRUE(peer.Next(r, 500));
    EXPECT_STREQ(r.message().GetRequest(), "ACK");
    EXPECT_FALSE(peer.Next(r, 300)) << r.text;
}

TEST(SipDigest, DecodeReadsQuotedAndPlainValuesAndRejectsOtherSchemes)
{
    LHashTable parameters;
    bool stale = false;
    ASSERT_TRUE(LSipAuthenticationDecodeDigest(
        "  digest realm=\"a b\",nonce=xyz , algorithm=MD5,stale=\"TRUE\"", parameters, stale));
    EXPECT_STREQ(parameters.GetParm("realm", "-"), "a b");
    EXPECT_STREQ(parameters.GetParm("nonce", "-"), "xyz");
    EXPECT_STREQ(parameters.GetParm("algorithm", "-"), "MD5");
    EXPECT_TRUE(stale);
    EXPECT_FALSE(LSipAuthenticationDecodeDigest("Basic realm=\"a\"", parameters, stale));
    EXPECT_FALSE(LSipAuthenticationDecodeDigest("-", parameters, stale));
}
} // namespace
} // namespace vtest
