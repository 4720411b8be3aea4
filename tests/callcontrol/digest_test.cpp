// Digest computation against RFC 2617's example, credential decoding, and the
// nonce life cycle of an account's REGISTER challenges.
#include "callcontrol/registrar.h"
#include "registrar_fixture.h"

#include <cstring>
#include <regex>

TEST(Digest, ResponseFollowsRfc2617WithoutQop)
{
    // RFC 2617 section 3.5: HA1 and HA2 of the example are published values.
    char ha1[LMD5::HexSize], ha2[LMD5::HexSize], expected[LMD5::HexSize], out[LMD5::HexSize];
    LMD5::HexOf("Mufasa:testrealm@host.com:Circle Of Life", ha1);
    EXPECT_STREQ(ha1, "939e7578ed9e3c518a452acee763bce9");
    LMD5::HexOf("GET:/dir/index.html", ha2);
    EXPECT_STREQ(ha2, "39aff3a2bab6126f332b942af96d3366");
    LMD5::HexOf((std::string(ha1) + ":dcd98b7102dd2f0e8b11d0f600bfb0c093:" + ha2).c_str(),
                expected);
    LSipCreateAuthenticationResponse("Mufasa", "testrealm@host.com", "Circle Of Life", "GET",
                                     "/dir/index.html", "dcd98b7102dd2f0e8b11d0f600bfb0c093", out);
    EXPECT_STREQ(out, expected);
    EXPECT_TRUE(std::regex_match(out, std::regex("[0-9a-f]{32}")));
}

TEST(Digest, DecodeTable)
{
    struct Case {
        const char *value;
        bool ok;
        const char *uri;
        const char *nonce;
    } cases[] = {
        {"Digest username=\"101\",uri=\"sip:a;x=1,2\",nonce=\"n1\"", true, "sip:a;x=1,2", "n1"},
        {"digest  Username = 101 , URI=sip:b , nonce=n2", true, "sip:b", "n2"},
        {"DIGEST uri=\"sip:c\"", true, "sip:c", ""},
        {"Basic dXNlcjpwdw==", false, "", ""},
        {"Digestive uri=x", false, "", ""},
        {"", false, "", ""},
    };
    for (const Case &c : cases) {
        LHashTable table;
        EXPECT_EQ(LSipAuthenticationDecodeDigest(c.value, table), c.ok) << c.value;
        EXPECT_STREQ(table.GetParm("uri"), c.uri) << c.value;
        EXPECT_STREQ(table.GetParm("nonce"), c.nonce) << c.value;
    }
}

TEST(Digest, NonceLayoutAndRealm)
{
    char a[32], b[32], realm[260];
    LSipMakeNonce(a, sizeof(a));
    LSipMakeNonce(b, sizeof(b));
    EXPECT_TRUE(std::regex_match(a, std::regex("v[0-9]{1,5}qaq[0-9]{1,5}w"))) << a;
    EXPECT_STRNE(a, b);
    LSipGetLocalRealm(realm);
    EXPECT_EQ(std::string(realm).rfind("vela@", 0), 0u) << realm;
    EXPECT_EQ(std::string(realm).find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos);
}

TEST(Digest, SameUriTable)
{
    EXPECT_TRUE(LSipSameURI("sip:10.0.0.1", "SIP:10.0.0.1"));
    EXPECT_TRUE(LSipSameURI("sip:pbx.Example.com", "sip:PBX.example.com"));
    EXPECT_FALSE(LSipSameURI("sip:10.0.0.1", "sip:10.0.0.1:5060"));
    EXPECT_FALSE(LSipSameURI("sip:10.0.0.1", "sip:10.0.0.2"));
    EXPECT_FALSE(LSipSameURI("sip:101@10.0.0.1", "sip:102@10.0.0.1"));
}

using DigestChallenge = RegistrarTest;

TEST_F(DigestChallenge, NonceLifeCycle)
{
    LPBXExtension ext = MakeExtension("101", "pw");
    const char *contact = "Contact: <sip:101@10.0.0.5>\r\n";
    const std::string to = "To: <sip:101@pbx>\r\n";
    auto ask = [&](const std::string &auth, int64_t now) {
        auto m = Request("REGISTER", "sip:pbx", to + contact + auth);
        LPBXHandleRegister(*m, responder, now);
        return responder.Last();
    };
    // Never challenged: a new nonce with stale TRUE.
    Answer first = ask("", kNow);
    ASSERT_EQ(first.status, 401);
    std::string nonce = ChallengeParm(first.extra, "nonce");
    EXPECT_EQ(ChallengeParm(first.extra, "stale"), "TRUE");
    char realm[260];
    EXPECT_EQ(first.extra, "WWW-Authenticate: Digest realm=\"" +
                               std::string(LSipGetLocalRealm(realm)) + "\",nonce=\"" + nonce +
                               "\",opaque=\"\",stale=TRUE,algorithm=MD5\r\n");
    EXPECT_EQ(ext.GetNonceTime(), kNow);

    struct Step {
        std::string auth;
        int status;
        const char *stale;
        bool sameNonce;
    } steps[] = {
        {Credentials("101", "wrong", "REGISTER", "sip:pbx", nonce), 401, "FALSE", true},
        {Credentials("101", "pw", "REGISTER", "sip:pbx", "v1qaq2w"), 401, "TRUE", true},
        {Credentials("101", "pw", "REGISTER", "sip:pbx", nonce, "other"), 401, "TRUE", true},
        {Credentials("101", "pw", "REGISTER", "sip:pbx", nonce, nullptr, "x"), 401, "TRUE", true},
        // Credentials computed for another target are not accepted here.
        {Credentials("101", "pw", "REGISTER", "sip:other", nonce), 401, "FALSE", true},
        {"Basic abc", 401, "FALSE", true},
        {Credentials("101", "pw", "REGISTER", "sip:pbx", nonce), 200, "", true},
    };
    for (const Step &s : steps) {
        Answer a = ask("Authorization: " + s.auth + "\r\n", kNow + 100);
        EXPECT_EQ(a.status, s.status) << s.auth;
        if (s.status == 401) {
            EXPECT_EQ(ChallengeParm(a.extra, "stale"), s.stale) << s.auth;
            EXPECT_EQ(ChallengeParm(a.extra, "nonce") == nonce, s.sameNonce) << s.auth;
        }
    }
    // Neither use nor challenges extend the nonce's life.
    EXPECT_EQ(ext.GetNonceTime(), kNow);
    Answer late =
        ask("Authorization: " + Credentials("101", "pw", "REGISTER", "sip:pbx", nonce) + "\r\n",
            kNow + 301);
    EXPECT_EQ(late.status, 401);
    EXPECT_EQ(ChallengeParm(late.extra, "stale"), "TRUE");
    EXPECT_NE(ChallengeParm(late.extra, "nonce"), nonce);
    EXPECT_EQ(ext.GetNonceTime(), kNow + 301);
}

TEST_F(DigestChallenge, UserCaseIsKeptForTheDigest)
{
    MakeExtension("alice", "pw");
    auto m = Request("REGISTER", "sip:pbx", "To: <sip:ALICE@pbx>\r\n");
    LPBXHandleRegister(*m, responder, kNow);
    std::string nonce = ChallengeParm(responder.Last().extra, "nonce");
    for (const char *user : {"alice", "ALICE"}) {
        auto again = Request("REGISTER", "sip:pbx",
                             "To: <sip:ALICE@pbx>\r\nAuthorization: " +
                                 Credentials(user, "pw", "REGISTER", "sip:pbx", nonce) + "\r\n");
        LPBXHandleRegister(*again, responder, kNow + 1);
        EXPECT_EQ(responder.Last().status, strcmp(user, "ALICE") == 0 ? 200 : 401) << user;
    }
}
