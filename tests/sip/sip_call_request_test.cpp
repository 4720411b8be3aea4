// Requests of a dialog on the wire: repeats until a response, give-up,
// digest answers to 401/407 challenges, and the answer mode a new INVITE
// carries.
#include "platform/md5.h"
#include "sip_call_fixture.h"
#include "support/sip_parse.h"

#include <cstring>

namespace vtest
{
namespace
{
class SipCallRequest : public SipCallTest
{
  protected:
    // The INVITE the peer receives when the exchange calls it for a caller
    // whose own INVITE carried callerHeaders.
    Received SentInvite(LSipCall &call, const std::string &callerHeaders, bool autoAnswer,
                        bool rebuilt)
    {
        std::unique_ptr<LSipMessage> caller = ParseSip(PeerRequest(
            "INVITE", "caller-" + std::to_string(++calls), "", peer.Port() + 1, 1, callerHeaders));
        LSipRequest invite;
        invite.CreateNewInviteRequest(call, nullptr, nullptr, 20, caller.get(), autoAnswer);
        if (rebuilt) // as after a 401/407: the request is composed again
            invite.RebuildInvite(call, nullptr, nullptr, 20, caller.get(), autoAnswer);
        call.SendRequest(invite);
        Received r;
        EXPECT_TRUE(peer.Next(r, 1000));
        return r;
    }
    // Every value of the header name in the received message, in order.
    static std::vector<std::string> Values(const LSipMessage &message, const char *name)
    {
        std::vector<std::string> values;
        for (size_t i = 0; i < message.GetFieldCount(); i++)
            if (strcmp(message.GetFieldAt(i).GetFieldName(), name) == 0)
                values.push_back(message.GetFieldAt(i).GetFieldData());
        return values;
    }
    int calls = 0;
};

// Repeats every 500 ms until the time limit; none once a provisional
// response came.
TEST_F(SipCallRequest, InviteIsRepeatedUntilAProvisionalResponseOrTheTimeLimit)
{
    // clang-format off
    const struct { bool ringing; std::vector<uint32_t> sent; } cases[] = {
        {false, {0, 500, 1000, 1500}},
        {true, {0}},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ringing);
        LPtr<LSipCall> call = Outgoing();
        LSipRequest invite;
        ASSERT_TRUE(invite.CreateNewInviteRequest(*call, "v=0\r\n", nullptr, 20, nullptr, false));
        LPtr<LSipMessage> response;
        std::vector<uint32_t> sent;
        int result = Drive(
            [&] { return call->SendRequestAndWaitForResponse(owner, invite, response, 2000); },
            [&](const Received &r) {
                EXPECT_STREQ(r.message().GetRequest(), "INVITE");
                EXPECT_STREQ(r.message().GetContent("application/sdp"), "v=0\r\n");
                EXPECT_EQ(r.text, invite.GetText());
                sent.push_back(r.at);
                if (c.ringing && sent.size() == 1)
                    peer.Reply(r.message(), 180, "Ringing");
                return c.ringing && sent.size() == 1;
            });
        EXPECT_EQ(result, 408);
        EXPECT_EQ(sent, c.sent);
        EXPECT_FALSE(response);
    }
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

// secondChallenge: null when the second request is accepted. Without a
// password a challenge ends the request with its status.
TEST_F(SipCallRequest, ChallengesAreAnsweredOnceAndRefusedCredentialsAreNotRetried)
{
    // clang-format off
    const struct { int status; const char *challengeField, *answerField, *secondChallenge; int expectedInvites, expectedResult; const char *password = "secret"; } cases[] = {
        {407, "Proxy-Authenticate", "Proxy-Authorization", nullptr, 2, 200},
        {401, "WWW-Authenticate", "Authorization", "nonce=\"n1\"", 2, 401},
        {407, "Proxy-Authenticate", "Proxy-Authorization", "nonce=\"n2\"", 2, 407},
        // A stale nonce is no refusal: answered again with the new nonce.
        {407, "Proxy-Authenticate", "Proxy-Authorization", "nonce=\"n3\", stale=TRUE", 3, 200},
        {407, "Proxy-Authenticate", "Proxy-Authorization", nullptr, 1, 407, ""},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expectedInvites);
        LPtr<LSipCall> call = Outgoing(c.password);
        call->SetDialogEstablished();
        LSipRequest request;
        LPtr<LSipMessage> response;
        std::string challenge = std::string(c.challengeField) +
                                ": Digest realm=\"vela.test\", nonce=\"n1\", opaque=\"op\"\r\n";
        int invites = 0;
        auto serve = [&](const Received &r) {
            if (strcmp(r.message().GetRequest(), "ACK") == 0)
                return false;
            EXPECT_STREQ(r.message().GetRequest(), "INVITE");
            invites++;
            const char *answer = r.message().FindField(c.answerField, nullptr);
            if (!answer) {
                peer.Reply(r.message(), c.status, "Unauthorized", challenge.c_str());
                return true;
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
            return true;
        };
        int result = Drive(
            [&] {
                return call->SendReInviteAndWaitForFinalResponse(owner, request, response,
                                                                 "v=0\r\n");
            },
            serve);
        EXPECT_EQ(invites, c.expectedInvites);
        EXPECT_EQ(result, c.expectedResult);
    }
}

// The activity poll of a connected call: INFO every 750 ms, OPTIONS from 3 s
// for agents that drop INFO, given up after 6 s of silence or at a 481 or
// 487. Any other answer, to either request, means the far end is there.
// (What goes out at the give-up itself is never awaited and not pinned.)
TEST_F(SipCallRequest, ActivityPollLivesOnAnyAnswerButAGoneDialog)
{
    // answered: the position of the request the peer answers, -1 none
    // clang-format off
    const struct { int answered, status; bool alive; const char *sent; } cases[] = {
        {-1, 0, false, "INFO@0 INFO@750 INFO@1500 INFO@2250 OPTIONS@3000 OPTIONS@3750 OPTIONS@4500 OPTIONS@5250 "},
        {0, 200, true, "INFO@0 "}, {0, 501, true, "INFO@0 "}, {0, 481, false, "INFO@0 "},
        {1, 487, false, "INFO@0 INFO@750 "}, {4, 200, true, "INFO@0 INFO@750 INFO@1500 INFO@2250 OPTIONS@3000 "},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sent);
        LPtr<LSipCall> call = Outgoing();
        call->SetDialogEstablished();
        std::string sent;
        int n = 0;
        bool alive = Drive([&] { return call->PollActive(owner); },
                           [&](const Received &r) {
                               if (r.at < 6000)
                                   sent += r.Name() + "@" + std::to_string(r.at) + " ";
                               if (n++ != c.answered)
                                   return false;
                               peer.Reply(r.message(), c.status, "Answer");
                               return true;
                           });
        EXPECT_EQ(alive, c.alive);
        EXPECT_EQ(sent, c.sent);
    }
}

// Answer modes (RFC 5373): a caller's "Answer-Mode" and "Priv-Answer-Mode"
// reach the called phone only when the call was placed by an authenticated
// extension. A caller from outside (an external line) must never make a
// phone pick up by itself.
// forwarded: the INVITE of a dialog made from the first towards another target
TEST_F(SipCallRequest, AnswerModeCopiedOnlyForAnAuthenticatedCaller)
{
    const std::string both = "Answer-Mode: Auto\r\nPriv-Answer-Mode: Manual;require\r\n";
    using V = std::vector<std::string>;
    // clang-format off
    const struct { const char *what; bool authenticated; std::string callerHeaders; bool autoAnswer, rebuilt, forwarded; V answerMode, privAnswerMode; } cases[] = {
        {"authenticated: both copied", true, both, false, false, false, {"Auto"}, {"Manual;require"}},
        {"authenticated, credentials added: still copied", true, both, false, true, false, {"Auto"}, {"Manual;require"}},
        {"authenticated, header names in another case", true, "answer-mode: Manual\r\nPRIV-ANSWER-MODE: Auto\r\n", false, false, false, {"Manual"}, {"Auto"}},
        {"authenticated, the caller asked for nothing", true, "", false, false, false, {}, {}},
        {"authenticated, forwarded: the caller's standing is kept", true, both, false, false, true, {"Auto"}, {"Manual;require"}},
        {"outside caller: neither copied", false, both, false, false, false, {}, {}},
        {"outside caller, credentials added: neither copied", false, both, false, true, false, {}, {}},
        {"outside caller, only the private one", false, "Priv-Answer-Mode: Auto\r\n", false, false, false, {}, {}},
        {"outside caller, forwarded: still neither", false, both, false, false, true, {}, {}},
        {"the exchange's own auto answer, outside caller", false, both, true, false, false, {"Auto"}, {}},
        {"own auto answer, the authenticated caller's mode stands", true, "Answer-Mode: Manual\r\n", true, true, false, {"Manual"}, {}},
        {"own auto answer, the caller asked only privately", true, "Priv-Answer-Mode: Manual\r\n", true, false, false, {"Auto"}, {"Manual"}},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        LPtr<LSipCall> first = Outgoing();
        first->SetCallerAuthenticated(c.authenticated);
        LPtr<LSipCall> forwarded(c.forwarded ? new LSipCall(*first, peer.Target().c_str())
                                             : nullptr);
        Received r =
            SentInvite(c.forwarded ? *forwarded : *first, c.callerHeaders, c.autoAnswer, c.rebuilt);
        ASSERT_TRUE(r.parsed);
        ASSERT_STREQ(r.message().GetRequest(), "INVITE");
        EXPECT_EQ(Values(r.message(), "Answer-Mode"), c.answerMode) << r.text;
        EXPECT_EQ(Values(r.message(), "Priv-Answer-Mode"), c.privAnswerMode) << r.text;
    }
}

// Challenges from providers and credentials from phones share this decoder;
// absent parameters read as "-". Escapes undone must be redone in the answer.
TEST(SipDigest, DecodeTable)
{
    const std::string longText(5000, 'n');
    // clang-format off
    struct Case { std::string value; bool ok; const char *realm, *nonce, *uri; bool stale; } cases[] = {
        {"  digest realm=\"a b\",nonce=xyz , algorithm=MD5,stale=\"TRUE\"", true, "a b", "xyz", "-", true},
        {"Digest username=\"101\",uri=\"sip:a;x=1,2\",nonce=\"n1\",stale=FALSE", true, "-", "n1", "sip:a;x=1,2", false},
        {"digest  Username = 101 , URI=sip:b , NONCE=n2", true, "-", "n2", "sip:b", false},
        {"DIGEST\turi=\"sip:c\"", true, "-", "-", "sip:c", false},
        {"Digest realm=\"a\\\"b\\\\c\",nonce=n3", true, "a\"b\\c", "n3", "-", false},
        {"Digest nonce=n4,realm=\"abc, uri=sip:x", true, "abc, uri=sip:x", "n4", "-", false},
        {"Digest uri, nonce=n5,,=x", true, "-", "n5", "", false},
        {"Digest nonce=first,Nonce=\"second\"", true, "-", "second", "-", false},
        {"Digest realm=\" a \" ,nonce=\"n6\t\"\t", true, " a ", "n6\t", "-", false},
        {"Digest realm=\"" + longText + "\",nonce=" + longText, true, longText.c_str(), longText.c_str(), "-", false},
        {"Digest", true, "-", "-", "-", false},
        {"Basic realm=\"a\"", false, "-", "-", "-", false},
        {"Digestive uri=x", false, "-", "-", "-", false},
        {"", false, "-", "-", "-", false},
    };
    // clang-format on
    for (const Case &c : cases) {
        LHashTable parameters;
        EXPECT_EQ(LSipAuthenticationDecodeDigest(c.value.c_str(), parameters), c.ok) << c.value;
        EXPECT_STREQ(parameters.GetParm("realm", "-"), c.realm) << c.value;
        EXPECT_STREQ(parameters.GetParm("nonce", "-"), c.nonce) << c.value;
        EXPECT_STREQ(parameters.GetParm("uri", "-"), c.uri) << c.value;
        EXPECT_EQ(LSipDigestIsStale(parameters), c.stale) << c.value;
        // The answer carries realm and nonce back as the challenge had them.
        LHashTable answer;
        std::string text = LSipDigestAnswer(parameters, "u", "pw", "INVITE", "sip:x");
        EXPECT_TRUE(LSipAuthenticationDecodeDigest(text.c_str(), answer));
        EXPECT_STREQ(answer.GetParm("realm"), parameters.GetParm("realm")) << text;
        EXPECT_STREQ(answer.GetParm("nonce"), parameters.GetParm("nonce")) << text;
    }
}

// A server offering several digest algorithms sends one challenge each, the
// preferred first (RFC 8760): the MD5 one is answered wherever it stands.
TEST(SipDigest, TheMd5ChallengeIsChosenAmongSeveral)
{
    // clang-format off
    struct Case { int status; std::string fields; bool ok; const char *nonce; } cases[] = {
        {401, "WWW-Authenticate: Digest algorithm=SHA-256,nonce=a\r\nWWW-Authenticate: Digest algorithm=MD5,nonce=b\r\n", true, "b"},
        {407, "WWW-Authenticate: Digest nonce=w\r\nProxy-Authenticate: Basic realm=x\r\nProxy-Authenticate: Digest algorithm=md5,nonce=c\r\n", true, "c"},
        {401, "WWW-Authenticate: Digest nonce=d\r\nWWW-Authenticate: Digest algorithm=MD5,nonce=e\r\n", true, "d"},
        {401, "WWW-Authenticate: Digest algorithm=SHA-256,nonce=f\r\nWWW-Authenticate: Digest algorithm=MD5-sess,nonce=g\r\n", false, "f"},
        {407, "WWW-Authenticate: Digest nonce=h\r\n", false, "-"},
    };
    // clang-format on
    for (const Case &c : cases) {
        auto response = ParseSip("SIP/2.0 " + std::to_string(c.status) +
                                 " Unauthorized\r\nCSeq: 1 REGISTER\r\n" + c.fields +
                                 "Content-Length: 0\r\n\r\n");
        ASSERT_TRUE(response);
        LHashTable parameters;
        EXPECT_EQ(LSipDecodeDigestChallenge(*response, parameters), c.ok) << c.fields;
        EXPECT_STREQ(parameters.GetParm("nonce", "-"), c.nonce) << c.fields;
    }
}

} // namespace
} // namespace vtest
