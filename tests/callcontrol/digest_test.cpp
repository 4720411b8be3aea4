// Digest computation against RFC 2617's example and the nonces of REGISTER
// challenges: issue, expiry, binding and replay.
#include "callcontrol/registrar.h"
#include "registrar_fixture.h"

#include <regex>

// RFC 2617 section 3.5's example (with qop); the digest without qop is
// composed independently in the SIP dialog tests.
TEST(Digest, ResponseMatchesTheRfc2617Example)
{
    char out[LMD5::HexSize];
    LSipDigestResponse("Mufasa", "testrealm@host.com", "Circle Of Life", "GET", "/dir/index.html",
                       "dcd98b7102dd2f0e8b11d0f600bfb0c093", "00000001", "0a4f113b", "auth", out);
    EXPECT_STREQ(out, "6629fae49393a05397450978507c4ef1");
}

TEST(Digest, RealmAndNonces)
{
    char realm[260];
    LSipGetLocalRealm(realm);
    EXPECT_EQ(std::string(realm).rfind("vela@", 0), 0u) << realm;
    EXPECT_EQ(std::string(realm).find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos);
    LDigestNonces nonces, other;
    const int64_t now = 1700000000;
    std::string a = nonces.Issue("Alice", now), b = nonces.Issue("alice", now);
    EXPECT_NE(a, b);
    std::string forged = a;
    forged[0] = forged[0] == '0' ? '1' : '0'; // another issue time
    // clang-format off
    struct { std::string nonce; const char *account; int64_t at; bool valid; } cases[] = {
        {a, "ALICE", now + 300, true}, {a, "bob", now, false}, {a, "alice", now + 301, false},
        {a, "alice", now - 1, false},  {forged, "alice", now, false},
        {other.Issue("alice", now), "alice", now, false},     {"", "alice", now, false},
    };
    // clang-format on
    for (const auto &c : cases)
        EXPECT_EQ(nonces.IsValid(c.nonce.c_str(), c.account, c.at), c.valid) << c.nonce;
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

TEST_F(DigestChallenge, EveryChallengeHasItsOwnNonceAndReplaysAreRefused)
{
    MakeExtension("101", "pw");
    const std::string head = "To: <sip:101@pbx>\r\nContact: <sip:101@10.0.0.5>\r\n";
    auto ask = [&](const std::string &auth, const char *source = "10.0.0.5:5060",
                   int64_t now = kNow + 100) {
        auto m = Request("REGISTER", "sip:pbx", head + auth, source);
        LPBXHandleRegister(*m, guards, responder, now);
        return responder.Last();
    };
    Answer first = ask("");
    ASSERT_EQ(first.status, 401);
    char realm[260];
    EXPECT_TRUE(std::regex_match(first.extra,
                                 std::regex("WWW-Authenticate: Digest realm=\"" +
                                            std::string(LSipGetLocalRealm(realm)) +
                                            "\",nonce=\"[0-9a-f]{32}\",opaque=\"\",stale=FALSE,"
                                            "algorithm=MD5,qop=\"auth\"\r\n")))
        << first.extra;
    std::string nonce = ChallengeParm(first.extra, "nonce");
    EXPECT_NE(ChallengeParm(ask("").extra, "nonce"), nonce);
    std::string good = Credentials("101", "pw", "REGISTER", "sip:pbx", nonce);

    // stale=TRUE only where the password was right and the nonce was not.
    // clang-format off
    struct Step { std::string auth; const char *source; int64_t now; int status; const char *stale; } steps[] = {
        {Credentials("101", "wrong", "REGISTER", "sip:pbx", nonce), "10.0.0.5:5060", kNow, 401, "FALSE"},
        {Credentials("101", "pw", "REGISTER", "sip:pbx", "0000000011111111aaaaaaaaaaaaaaaa"), "10.0.0.5:5060", kNow, 401, "TRUE"},
        {Credentials("101", "pw", "REGISTER", "sip:pbx", nonce, "other"), "10.0.0.5:5060", kNow, 401, "TRUE"},
        {Credentials("101", "pw", "REGISTER", "sip:pbx", nonce, nullptr, "x"), "10.0.0.5:5060", kNow, 401, "TRUE"},
        {Credentials("101", "pw", "REGISTER", "sip:other", nonce), "10.0.0.5:5060", kNow, 401, "FALSE"},
        {"Basic abc", "10.0.0.5:5060", kNow, 401, "FALSE"},
        {good, "10.0.0.5:5060", kNow + 300, 200, ""},
        // Without qop a nonce is reused only where it was first used.
        {good, "10.0.0.5:5060", kNow + 300, 200, ""},
        {good, "10.0.0.5:5061", kNow + 300, 401, "TRUE"},
        {good, "10.0.0.66:5060", kNow + 300, 401, "TRUE"},
        {good, "10.0.0.5:5060", kNow + 401, 401, "TRUE"},
    };
    // clang-format on
    for (const Step &s : steps) {
        Answer a = ask("Authorization: " + s.auth + "\r\n", s.source, s.now);
        EXPECT_EQ(a.status, s.status) << s.auth << " from " << s.source;
        if (s.status == 401) {
            EXPECT_EQ(ChallengeParm(a.extra, "stale"), s.stale) << s.auth << " from " << s.source;
        }
    }
}

// RFC 7616 section 3.4: with qop each nonce count is accepted once and must
// grow; a captured answer is worth nothing anywhere.
TEST_F(DigestChallenge, QopNonceCountsOnlyGrow)
{
    MakeExtension("101", "pw");
    std::string nonce = guards.nonces.Issue("101", kNow);
    char realm[260], response[LMD5::HexSize];
    LSipGetLocalRealm(realm);
    auto ask = [&](const char *nc, const char *source) {
        LSipDigestResponse("101", realm, "pw", "REGISTER", "sip:pbx", nonce.c_str(), nc, "c0ffee",
                           "auth", response);
        std::string auth = std::string("Authorization: Digest username=\"101\",realm=\"") + realm +
                           "\",nonce=\"" + nonce + "\",uri=\"sip:pbx\",response=\"" + response +
                           "\",qop=auth,nc=" + nc + ",cnonce=\"c0ffee\",algorithm=MD5\r\n";
        auto m = Request("REGISTER", "sip:pbx", "To: <sip:101@pbx>\r\n" + auth, source);
        LPBXHandleRegister(*m, guards, responder, kNow + 1);
        return responder.Last().status;
    };
    // clang-format off
    struct { const char *nc, *source; int status; } steps[] = {
        {"00000001", "10.0.0.5:5060", 200}, {"00000001", "10.0.0.5:5060", 401},
        {"00000001", "10.0.0.7:5060", 401}, {"00000003", "10.0.0.5:5060", 200},
        {"00000002", "10.0.0.5:5060", 401}, {"1", "10.0.0.5:5060", 401},
        {"00000000", "10.0.0.5:5060", 401}, {"00000004", "10.0.0.5:5062", 200},
    };
    // clang-format on
    for (const auto &s : steps)
        EXPECT_EQ(ask(s.nc, s.source), s.status) << s.nc << " from " << s.source;
}
