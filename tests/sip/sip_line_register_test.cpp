// Line registrations on the test clock: every timer rule, the granted
// expiry, challenges, refusals, stale or spoofed answers, reference counts
// and the shutdown budget. The layout on the wire is shown against Kamailio.
#include "platform/clock.h"
#include "sip/sip_line_register.h"
#include "sip/sipmessage.h"
#include "support/sip_parse.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{
using vtest::ParseSip;
constexpr uint32_t kStart = 0xFFFF0000u; // the tick wraps during the tests

struct Sent {
    uint32_t tick;
    std::string text; // "" for a keep-alive
};

class Host : public LSipLineRegisterHost
{
  public:
    explicit Host(LManualClock &clock) : clock(clock) {}
    void SendRegisterPacket(const LIPAddressWithPort &, const std::string &text) override
    {
        sent.push_back({clock.Tick(), text});
        clock.Advance(sendCostMs);
    }
    void SendRegisterKeepAlive(const LIPAddressWithPort &) override
    {
        sent.push_back({clock.Tick(), ""});
    }
    LNameLookup ResolveServer(const char *text, int defaultPort, LIPAddressWithPort &to) override
    {
        if (pending)
            return LNameLookup::Pending;
        if (resolvable && std::string(text) == "prov.example")
            text = "192.0.2.1";
        return to.SetFromText(text, defaultPort) ? LNameLookup::Found : LNameLookup::Failed;
    }
    void GetRegisterContact(char *ip, size_t capacity, int &port) override
    {
        snprintf(ip, capacity, "192.0.2.7");
        port = 5090;
    }
    void CreateNewBranchID(char *out, size_t capacity) override { snprintf(out, capacity, "b"); }
    void CreateNewLocalTag(char *out, size_t capacity) override { snprintf(out, capacity, "t"); }
    void CreateNewCallId(char *out, size_t capacity) override
    {
        snprintf(out, capacity, "call%d", ++calls);
    }
    LManualClock &clock;
    std::vector<Sent> sent;
    uint32_t sendCostMs = 0;
    int calls = 0;
    bool pending = false;    // the registrar's name is still being looked up
    bool resolvable = false; // ... and then found
};

class LineRegister : public ::testing::Test
{
  protected:
    void Add(const char *password = "secret", const char *proxy = "192.0.2.1")
    {
        lines.Register("prov.example", proxy, "sip:2001@prov.example", "2001", "auth2001", password,
                       90);
    }
    // Runs the engine's passes until the clock has moved ms further.
    void Run(uint32_t ms)
    {
        uint32_t end = clock.Tick() + ms;
        for (;;) {
            uint32_t wait = lines.TimerPass(20000);
            uint32_t left = LTickRemaining(clock.Tick(), end);
            if (left == 0)
                return;
            clock.Advance(std::max<uint32_t>(1, std::min(wait, left)));
        }
    }
    std::vector<Sent> Registers() const
    {
        std::vector<Sent> out;
        for (const Sent &s : host.sent)
            if (!s.text.empty())
                out.push_back(s);
        return out;
    }
    size_t KeepAlives() const { return host.sent.size() - Registers().size(); }
    // A response to the last REGISTER; cseq overrides its number.
    bool Answer(const char *status, const std::string &headers = "", int cseq = 0)
    {
        auto last = ParseSip(Registers().back().text);
        std::string number =
            cseq ? std::to_string(cseq) + " REGISTER" : std::string(last->FindField("CSeq", ""));
        return lines.HandleResponse(*ParseSip(std::string("SIP/2.0 ") + status +
                                              "\r\nCall-ID: " + last->FindField("Call-ID", "") +
                                              "\r\nCSeq: " + number + "\r\n" + headers + "\r\n"));
    }
    // The 200 to the first REGISTER of the line whose Call-ID is call<n>.
    void Granted(int n)
    {
        lines.HandleResponse(*ParseSip("SIP/2.0 200 OK\r\nCall-ID: call" + std::to_string(n) +
                                       "\r\nCSeq: 2 REGISTER\r\n\r\n"));
    }
    // A table row's own line: the last one gone, a new one sent its REGISTER.
    void Fresh()
    {
        lines.ReplaceAll({});
        host.sent.clear();
        Add();
        Run(1);
    }
    uint32_t SinceStart(const Sent &s) const { return s.tick - kStart; }

    LManualClock clock{kStart};
    Host host{clock};
    LSipLineRegistrations lines{host, clock};
};

// Silent registrar: 7 s repeats, the 40 s rule, then 300 s of quiet.
TEST_F(LineRegister, SilentServerBacksOff)
{
    Add();
    Run(400000);
    std::vector<uint32_t> at;
    for (const Sent &s : Registers())
        at.push_back(SinceStart(s));
    EXPECT_EQ(at, (std::vector<uint32_t>{0, 7000, 14000, 21000, 28000, 35000, 42000, 342000, 349000,
                                         356000, 363000, 370000, 377000, 384000}));
    EXPECT_EQ(KeepAlives(), 0u); // silence clears the keep-alive
}

TEST_F(LineRegister, ProvisionalRestartsRetransmission)
{
    Add();
    Run(5000);
    EXPECT_TRUE(Answer("100 Trying"));
    Run(10000);
    ASSERT_EQ(Registers().size(), 2u);
    EXPECT_EQ(SinceStart(Registers()[1]), 12000u);
}

// refreshMs: the next REGISTER after the 200
TEST_F(LineRegister, GrantedExpiry)
{
    // clang-format off
    const struct { const char *headers; uint32_t refreshMs; bool keepAlive; } cases[] = {
        {"Expires: 0\r\n", 3590000, true},
        {"", 3590000, true},
        {"Expires: 3600\r\nContact: <sip:2001@192.0.2.7:5090>;expires=120\r\n", 110000, true},
        {"Contact: <sip:9@10.0.0.9>;expires=300, <sip:8@10.0.0.8>;expires=200\r\n", 290000, true},
        {"Contact: <sip:2001@192.0.2.7:5091>;expires=60, <sip:2001@192.0.2.7:5090>;expires=120\r\n", 110000, true},
        {"Expires: 15\r\n", 10000, false},
        {"Expires: 4294967295\r\n", 86390000, true},
        {"Expires: 1800\r\nContact: <sip:;;@@>>;expires=-7,,<\"\r\nm: x;expires=abc\r\n", 1790000, true},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.headers);
        Fresh();
        ASSERT_TRUE(Answer("200 OK", c.headers));
        host.sent.clear();
        uint32_t granted = clock.Tick();
        Run(c.refreshMs + 5000);
        ASSERT_FALSE(Registers().empty());
        EXPECT_EQ(Registers()[0].tick - granted, c.refreshMs);
        EXPECT_EQ(KeepAlives() > 0, c.keepAlive);
    }
}

TEST_F(LineRegister, KeepAliveEvery49sOnlyToPublicProxy)
{
    Add();
    Add("secret", "127.0.0.1");
    Run(1);
    Granted(1);
    Granted(2);
    host.sent.clear();
    Run(200000);
    std::vector<uint32_t> at;
    for (const Sent &s : host.sent)
        at.push_back(s.tick - kStart);
    EXPECT_EQ(at, (std::vector<uint32_t>{49001, 98002, 147003, 196004}));
}

// Credentials go out once per challenge; a second one is answered only when
// it says the nonce was stale, else the line waits 600 s.
TEST_F(LineRegister, SecondChallengeAnsweredOnlyWhenStale)
{
    // challenge: the header name; credentials go in the matching one; again: parameters of the
    // second
    // clang-format off
    const struct { const char *status, *challenge, *credentials, *again; bool answered; } cases[] = {
        {"401 Unauthorized", "WWW-Authenticate", "\nAuthorization: ", "", false},
        {"401 Unauthorized", "WWW-Authenticate", "\nAuthorization: ", ",stale=true", true},
        {"407 Proxy Authentication Required", "Proxy-Authenticate", "\nProxy-Authorization: ", ",stale=TRUE", true},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.again);
        Fresh();
        Answer(c.status, std::string(c.challenge) + ": Digest realm=\"p\",nonce=\"n1\"\r\n");
        ASSERT_EQ(Registers().size(), 2u);
        std::string second = Registers()[1].text;
        EXPECT_NE(second.find("CSeq: 3 REGISTER"), std::string::npos);
        EXPECT_NE(second.find(std::string(c.credentials) + "Digest username=\"auth2001\""),
                  std::string::npos)
            << second;
        Answer(c.status,
               std::string(c.challenge) + ": Digest realm=\"p\",nonce=\"n2\"" + c.again + "\r\n");
        ASSERT_EQ(Registers().size(), c.answered ? 3u : 2u);
        EXPECT_NE(Registers().back().text.find(c.answered ? "nonce=\"n2\"" : "nonce=\"n1\""),
                  std::string::npos);
        if (!c.answered) {
            Run(599000);
            EXPECT_EQ(Registers().size(), 2u);
            Run(2000);
            EXPECT_EQ(Registers().size(), 3u);
        }
    }
}

TEST_F(LineRegister, ChallengeWithoutPasswordStaysDue)
{
    Add("");
    Run(1);
    Answer("401 Unauthorized", "WWW-Authenticate: Digest realm=\"p\",nonce=\"n1\"\r\n");
    Run(8000);
    EXPECT_EQ(Registers().size(), 2u);
    EXPECT_EQ(Registers()[1].text.find("Authorization"), std::string::npos);
}

// A refusal waits 600 s; one whose CSeq is not the last REGISTER's (stale
// or forged) is swallowed without touching the schedule.
TEST_F(LineRegister, RefusalOnlyFromTheLastRegister)
{
    Add();
    Run(1);
    EXPECT_TRUE(Answer("403 Forbidden", "", 1));
    EXPECT_TRUE(Answer("403 Forbidden", "", 3));
    EXPECT_FALSE(lines.HandleResponse(
        *ParseSip("SIP/2.0 403 Forbidden\r\nCall-ID: other\r\nCSeq: 2 REGISTER\r\n\r\n")));
    Run(7000);
    EXPECT_EQ(Registers().size(), 2u);
    EXPECT_TRUE(Answer("403 Forbidden"));
    std::vector<LSipLineStatus> status = lines.GetLineStatus();
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0].lastStatus, 403);
    EXPECT_EQ(status[0].nextAttempt - clock.UnixTime(), 600);
    Run(599000);
    EXPECT_EQ(Registers().size(), 2u);
}

TEST_F(LineRegister, IdenticalLinesCountedOnce)
{
    Add();
    Add();
    EXPECT_EQ(lines.GetCount(), 1u);
    Run(1);
    Answer("200 OK");
    for (size_t registers : {1u, 2u}) { // the second removal unregisters
        lines.Unregister("prov.example", "192.0.2.1", "sip:2001@prov.example", "2001", "auth2001",
                         "secret");
        ASSERT_EQ(Registers().size(), registers);
    }
    EXPECT_NE(Registers()[1].text.find(";expires=0;"), std::string::npos);
    EXPECT_EQ(lines.GetCount(), 0u);
}

// Lines edited in the panel: a registered line left as it was keeps its
// binding, a failed one is tried again at once, a changed one ends its old
// binding before the new one registers, and a removed one ends its binding.
TEST_F(LineRegister, EditedLinesEndOnlyTheBindingsTheyLeave)
{
    LSipLineRegistration kept{"a", "192.0.2.1", "sip:1@a", "1", "1", "p"},
        failed{"b", "192.0.2.1", "sip:2@b", "2", "2", "p"},
        changed{"c", "192.0.2.1", "sip:3@c", "3", "3", "p"};
    lines.ReplaceAll({kept, failed, changed});
    Run(1);
    Granted(1);
    Granted(3);
    lines.HandleResponse(*ParseSip("SIP/2.0 403 Forbidden\r\nCall-ID: call2\r\nCSeq: 2 "
                                   "REGISTER\r\n\r\n"));
    Run(8000); // past the 7 s between two REGISTERs of a line
    host.sent.clear();
    changed.password = "new";
    lines.ReplaceAll({kept, failed, changed});
    Run(1);
    std::vector<Sent> sent = Registers();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_NE(sent[0].text.find("To: <sip:3@c>"), std::string::npos);
    EXPECT_NE(sent[0].text.find(";expires=0;"), std::string::npos);
    for (const Sent &s : {sent[1], sent[2]})
        EXPECT_NE(s.text.find(";expires=3600;"), std::string::npos);
    EXPECT_EQ(sent[1].text.find("sip:1@a"), std::string::npos);
    EXPECT_EQ(sent[2].text.find("sip:1@a"), std::string::npos);
    Granted(4);
    host.sent.clear();
    lines.ReplaceAll({kept, kept, failed, changed}); // a second line of the same account
    lines.ReplaceAll({kept, failed, changed});
    EXPECT_TRUE(Registers().empty()) << "the account's binding is still named once";
    lines.ReplaceAll({});
    ASSERT_EQ(Registers().size(), 2u) << "the failed line had no binding to end";
    for (const Sent &s : Registers())
        EXPECT_NE(s.text.find(";expires=0;"), std::string::npos);
    EXPECT_EQ(lines.GetCount(), 0u);
}

// While the registrar's name is being looked up nothing is sent or logged
// and the engine is not kept spinning; the REGISTER goes out once the
// answer is there.
TEST_F(LineRegister, ARegistrarNameStillBeingLookedUpHoldsNothingElseUp)
{
    host.pending = true;
    Add("secret", "prov.example");
    EXPECT_GE(lines.TimerPass(20000), LSipLineRegistrations::kResolvePollMs);
    Run(5000);
    EXPECT_TRUE(host.sent.empty());
    host.pending = false;
    host.resolvable = true;
    Run(1);
    ASSERT_EQ(Registers().size(), 1u);
    EXPECT_EQ(SinceStart(Registers()[0]), 5000u);
}

TEST_F(LineRegister, NewPublicAddressRegistersAtOnce)
{
    Add();
    Run(1);
    Answer("200 OK");
    Run(60000);
    lines.MarkAllDue();
    Run(1);
    EXPECT_EQ(Registers().size(), 2u);
}

TEST_F(LineRegister, UnregisterAtStopKeepsItsBudget)
{
    lines.Register("a", "192.0.2.1", "sip:1@a", "1", "1", "p", 90);
    lines.Register("b", "192.0.2.1", "sip:2@b", "2", "2", "p", 90);
    lines.Register("c", "192.0.2.1", "sip:3@c", "3", "3", "p", 90);
    Run(1);
    for (int n = 1; n <= 3; n++)
        Granted(n);
    host.sent.clear();
    host.sendCostMs = 1500; // a name that resolves slowly
    lines.UnregisterAllOnStop();
    EXPECT_EQ(Registers().size(), 2u);
    host.sendCostMs = 0;
    Run(7000); // started again: every line registers at once
    EXPECT_EQ(Registers().size(), 5u);
}
} // namespace
