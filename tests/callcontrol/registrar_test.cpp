// Account look-up and binding updates of authenticated REGISTER requests.
#include "callcontrol/registrar.h"
#include "registrar_fixture.h"

#include "config/pbx_global_settings.h"
#include "sip/sipuri.h"

#include <map>
#include <regex>

namespace
{
class Registrar : public RegistrarTest
{
  protected:
    // An authenticated REGISTER for user with the given header lines.
    Answer Register(const char *user, const char *password, const std::string &headers,
                    const char *source = "10.0.0.5:5060", int vias = 1, int64_t now = kNow)
    {
        std::string to = std::string("To: <sip:") + user + "@pbx>\r\n";
        auto m = Request("REGISTER", "sip:pbx",
                         to + headers + "Authorization: " +
                             Answering(user, user, password, "REGISTER", "sip:pbx", now) + "\r\n",
                         source, vias);
        LPBXHandleRegister(*m, guards, responder, now);
        return responder.Last();
    }
    LPBXExtension Account(const char *name) { return MakeExtension(name, "pw"); }
    // contact -> (expires, q) of every stored record.
    static std::map<std::string, std::pair<int64_t, std::string>> Stored(LPBXContactList &acc)
    {
        std::map<std::string, std::pair<int64_t, std::string>> out;
        char c[LPathSize], q[LPathSize];
        for (LPBXContactListIterator it(acc); it; it.Next())
            out[it->GetContact(c)] = {it->GetContactExpiresTime(), it->GetQ(q)};
        return out;
    }
};
} // namespace

TEST_F(Registrar, ExpiryClampAndDefaults)
{
    // listed: the expected reply text, "" for none; stored: -1 when nothing is stored
    // clang-format off
    struct { std::string headers; const char *listed; int64_t stored; } cases[] = {
        {"Contact: <sip:101@10.0.0.5>;expires=7200\r\n", "Contact: <sip:101@10.0.0.5>;expires=3600;q=0.5\r\n", kNow + 3600},
        {"Contact: <sip:101@10.0.0.5>\r\nExpires: 120\r\n", "Contact: <sip:101@10.0.0.5>;expires=120;q=0.5\r\n", kNow + 120},
        {"Contact: <sip:101@10.0.0.5>\r\nExpires: 7200\r\n", "Contact: <sip:101@10.0.0.5>;expires=3600;q=0.5\r\n", kNow + 3600},
        {"Contact: <sip:101@10.0.0.5>;q=0.9\r\n", "Contact: <sip:101@10.0.0.5>;expires=3600;q=0.9\r\n", kNow + 3600},
        {"Contact: <sip:101@10.0.0.5>;expires=-5\r\n", "", -1},
        {"Contact: <sip:101@10.0.0.5>;expires=abc\r\n", "", -1},
    };
    // clang-format on
    for (const auto &c : cases) {
        LPBXExtension ext = Account("101");
        Answer a = Register("101", "pw", c.headers);
        EXPECT_EQ(a.status, 200) << c.headers;
        EXPECT_EQ(a.extra, c.listed) << c.headers;
        auto stored = Stored(ext);
        if (c.stored < 0)
            EXPECT_TRUE(stored.empty()) << c.headers;
        else
            EXPECT_EQ(stored["sip:101@10.0.0.5"].first, c.stored) << c.headers;
        LPBXExtensionList().Delete("101");
    }
}

TEST_F(Registrar, NatPhoneIsStoredWhereItSentFrom)
{
    LPBXExtension ext = Account("101");
    Answer a =
        Register("101", "pw", "Contact: <sip:101@192.168.1.20:5060>\r\n", "203.0.113.5:40000");
    EXPECT_EQ(a.extra, "Contact: <sip:101@203.0.113.5:40000>;expires=60;q=0.5\r\n");
    EXPECT_EQ(Stored(ext)["sip:101@203.0.113.5:40000"].first, kNow + 3600);
    char out[260];
    EXPECT_EQ(LPBXSettings::RegistryMappingCount.Get(), 1);
    EXPECT_STREQ(LPBXGetRegistryMappingFrom(1, out), "192.168.1.20:5060");
    EXPECT_STREQ(LPBXGetRegistryMappingTo(1, out), "203.0.113.5:40000");

    // Behind a proxy the Contact stays as sent and no mapping is made.
    LPBXExtension other = Account("102");
    Answer proxied =
        Register("102", "pw", "Contact: <sip:102@192.168.1.30>\r\n", "203.0.113.5:40000", 2);
    EXPECT_EQ(proxied.extra, "Contact: <sip:102@192.168.1.30>;expires=3600;q=0.5\r\n");
    EXPECT_EQ(LPBXSettings::RegistryMappingCount.Get(), 1);

    // A private source is rewritten but keeps its expiry.
    Answer lan = Register("102", "pw", "Contact: <sip:102@192.168.1.30>\r\n", "10.1.1.1:5062");
    EXPECT_NE(lan.extra.find("Contact: <sip:102@10.1.1.1:5062>;expires=3600;q=0.5\r\n"),
              std::string::npos)
        << lan.extra;
}

TEST_F(Registrar, BindingsAreListedRefreshedAndPruned)
{
    LPBXExtension ext = Account("101");
    Register("101", "pw", "Contact: <sip:101@10.0.0.5>\r\n");
    Answer two = Register("101", "pw", "Contact: <sip:101@10.0.0.6>;expires=100\r\n",
                          "10.0.0.6:5060", 1, kNow + 10);
    EXPECT_NE(two.extra.find("Contact: <sip:101@10.0.0.5>;expires=3590;q=0.5\r\n"),
              std::string::npos);
    EXPECT_NE(two.extra.find("Contact: <sip:101@10.0.0.6>;expires=100;q=0.5\r\n"),
              std::string::npos);
    // Unregistering keeps the record (still rung a while) but stops listing it.
    Answer off = Register("101", "pw", "Contact: <sip:101@10.0.0.6>;expires=0\r\n", "10.0.0.6:5060",
                          1, kNow + 20);
    EXPECT_EQ(off.extra.find("10.0.0.6"), std::string::npos);
    EXPECT_EQ(Stored(ext).size(), 2u);
    // Asterisk: 200 without Contact lines, nothing removed.
    Answer star = Register("101", "pw", "Contact: *\r\nExpires: 0\r\n");
    EXPECT_EQ(star.status, 200);
    EXPECT_EQ(star.extra, "");
    EXPECT_EQ(Stored(ext).size(), 2u);
    // Ten seconds past expiry a record goes at the next REGISTER.
    Register("101", "pw", "Contact: <sip:101@10.0.0.5>\r\n", "10.0.0.5:5060", 1, kNow + 30);
    EXPECT_EQ(Stored(ext).size(), 2u);
    Register("101", "pw", "Contact: <sip:101@10.0.0.5>\r\n", "10.0.0.5:5060", 1, kNow + 31);
    EXPECT_EQ(Stored(ext).size(), 1u);
}

TEST_F(Registrar, AtMostSixteenBindingsAndNeverTheExchangeItself)
{
    LPBXExtension ext = Account("101");
    for (int i = 0; i < 20; i++) {
        std::string host = "10.0.1." + std::to_string(i);
        Register("101", "pw",
                 "Contact: <sip:101@" + host +
                     ">;expires=" + std::to_string(1000 + (i == 3 ? 0 : i * 10)) + "\r\n",
                 (host + ":5060").c_str());
    }
    auto stored = Stored(ext);
    EXPECT_EQ(stored.size(), 16u);
    EXPECT_EQ(stored.count("sip:101@10.0.1.19"), 1u);
    EXPECT_EQ(stored.count("sip:101@10.0.1.0"), 0u); // earliest expiry reused first
    EXPECT_EQ(stored.count("sip:101@10.0.1.4"), 1u);

    LPBXExtension other = Account("102");
    Answer own = Register("102", "pw", "Contact: <sip:102@127.0.0.1:5060>\r\n", "127.0.0.1:5060");
    EXPECT_EQ(own.status, 200);
    EXPECT_TRUE(Stored(other).empty());
}

TEST_F(Registrar, AccountLookup)
{
    Account("101");
    Account("alice");
    LPBXExternalLine trunk, provider;
    LPBXExternalLineList().Open(trunk, "trunk");
    trunk.SetLineID("5551000");
    trunk.SetAuthUserID("gw");
    trunk.SetPassword("tp");
    LPBXExternalLineList().Open(provider, "provider");
    provider.SetLineID("5552000");
    provider.SetServer("10.0.0.9");
    provider.SetPassword("pp");

    // A name is an account only when its credentials are accepted: every
    // other name is challenged alike, with or without credentials, so that
    // probing shows no names. A line registers with its auth user. The digest
    // is of the user name as the phone wrote it.
    // clang-format off
    struct Case { const char *to, *user, *password; int status; } cases[] = {
        {"sip:101@pbx", "101", nullptr, 401},      {"sip:999@pbx", "999", nullptr, 401},
        {"sip:5551000@pbx", "gw", "tp", 200},      {"sip:5551000@pbx", "5551000", "tp", 401},
        {"sip:ALICE@pbx", "ALICE", "pw", 200},     {"sip:ALICE@pbx", "alice", "pw", 401},
        {"sip:5552000@pbx", "5552000", "pp", 401}, {"sip:999@pbx", "999", "pw", 401},
        {"sip:pbx", "", "pw", 401},                {"sip:..@pbx", "..", "pw", 401},
        {"sip:alice_@pbx", "alice_", "pw", 401},   {"sip:101%2f..@pbx", "101/..", "pw", 401},
    };
    // clang-format on
    std::string first; // the first challenge, its nonce left out
    for (const Case &c : cases) {
        LSipURI uri(c.to);
        std::string auth;
        if (c.password)
            auth = "Authorization: " +
                   Answering(uri.GetUser(), c.user, c.password, "REGISTER", "sip:pbx") + "\r\n";
        auto r = Request("REGISTER", "sip:pbx",
                         std::string("To: <") + c.to + ">\r\nContact: <sip:x@10.0.0.9>\r\n" + auth,
                         "10.0.0.9:5060");
        LPBXHandleRegister(*r, guards, responder, kNow);
        EXPECT_EQ(responder.Last().status, c.status) << c.to << " " << c.user;
        std::string shape =
            std::regex_replace(responder.Last().extra, std::regex("nonce=\"[0-9a-f]+\""), "");
        if (c.status == 401 && first.empty()) {
            first = shape;
        } else if (c.status == 401) {
            EXPECT_EQ(shape, first) << c.to << " " << c.user;
        }
    }
    EXPECT_EQ(Stored(trunk).size(), 1u);

    // Only the contact list of a deleted extension is left: unknown.
    LPBXExtension gone = Account("103");
    gone.AddContact("sip:103@10.0.0.3", kNow + 100, "0.5");
    ASSERT_EQ(unlink(gone.GetPath()), 0);
    EXPECT_EQ(Register("103", "pw", "Contact: <sip:103@10.0.0.3>\r\n").status, 401);
}

TEST_F(Registrar, AddressChangeKeepsExtensionContactsFiveMinutes)
{
    LPBXExtension ext = Account("101");
    ext.AddContact("sip:101@10.0.0.5", kNow - 50, "0.5");
    ext.AddContact("sip:101@10.0.0.6", kNow + 1000, "0.5");
    LPBXExternalLine line;
    LPBXExternalLineList().Open(line, "trunk");
    line.SetLineID("1");
    line.AddContact("sip:1@10.0.0.7", kNow - 50, "0.5");
    LPBXRefreshContactExpiries(kNow);
    auto stored = Stored(ext);
    EXPECT_EQ(stored["sip:101@10.0.0.5"].first, kNow + 300);
    EXPECT_EQ(stored["sip:101@10.0.0.6"].first, kNow + 1000);
    EXPECT_EQ(Stored(line)["sip:1@10.0.0.7"].first, kNow - 50);
}
