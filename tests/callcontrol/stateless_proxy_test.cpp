// The stateless proxy's rewrites of forwarded requests and responses, with
// the exchange at 10.0.0.1:5060 (private) and 203.0.113.1:5062 (public).
#include "callcontrol/stateless_proxy.h"
#include "registrar_fixture.h"
#include "support/sip_parse.h"

#include <algorithm>

namespace
{
struct Sent {
    std::string to;
    std::string text;
};

class FakeTransport : public LPBXProxyTransport
{
  public:
    void SendPacketUDP(const LIPAddressWithPort &to, const std::string &text) override
    {
        char address[32];
        to.ToString(address);
        sent.push_back(Sent{address, text});
    }
    void Respond(const LSipMessage &, int status, const char *, const char *extra) override
    {
        answered = status;
        answers += std::to_string(status) + (extra ? std::string(" ") + extra : "") + ";";
    }
    void GetPublicAddress(char *host, size_t capacity, int &port) override
    {
        snprintf(host, capacity, "203.0.113.1");
        port = 5062;
    }
    void GetPrivateAddress(char *host, size_t capacity, int &port) override
    {
        snprintf(host, capacity, "10.0.0.1");
        port = 5060;
    }
    void CreateNewBranchID(char *out, size_t capacity) override
    {
        snprintf(out, capacity, "z9hG4bK%d", branches++);
    }
    bool IsOwnAddress(const LIPAddressWithPort &a) override
    {
        return a.IsSameAs(LIPAddressWithPort(0x0a000001, 5060)) ||
               a.IsSameAs(LIPAddressWithPort(0xcb007101, 5062));
    }

    std::vector<Sent> sent;
    int answered = 0;
    std::string answers;
    int branches = 0;
};

class StatelessProxy : public RegistrarTest
{
  protected:
    static void Extension(const char *name, const char *voiceMail,
                          std::vector<std::pair<const char *, int64_t>> contacts)
    {
        LPBXExtension ext = MakeExtension(name, "pw");
        ext.SetVoiceMailExtension(voiceMail);
        for (auto &c : contacts)
            ASSERT_TRUE(ext.AddContact(c.first, (time_t)c.second, "0.5"));
    }
    // Passes text, received from 10.0.0.9:5070 (or from), to the proxy.
    void Receive(const std::string &text, uint32_t from = 0x0a000009)
    {
        LPtr<LSipMessage> message(vtest::ParseSip(text).release());
        message->SetSource(LIPAddressWithPort(from, 5070));
        if (message->IsRequest())
            proxy.HandleRequest(message);
        else
            proxy.HandleResponse(message);
    }
    // The request's size.
    size_t Request(const char *method, const char *user, const std::string &headers,
                   uint32_t from = 0x0a000009)
    {
        std::string text = std::string(method) + " sip:" + user + "@pbx SIP/2.0\r\n" + headers +
                           "To: <sip:" + user +
                           "@pbx>\r\nFrom: <sip:101@pbx>;tag=1\r\nCall-ID: c1\r\n"
                           "CSeq: 1 " +
                           method + "\r\nContent-Length: 0\r\n\r\n";
        Receive(text, from);
        return text.size();
    }

    FakeTransport transport;
    LManualClock clock{0, kNow};
    LPBXStatelessProxy proxy{transport, clock};
};

constexpr const char *kSenderVia = "Via: SIP/2.0/UDP 192.168.5.5:5099;branch=z9hG4bKa;rport\r\n";
constexpr const char *kOwnVia = "Via: SIP/2.0/UDP 10.0.0.1:5060;rport;branch=z9hG4bK0\r\n";
} // namespace

// One live contact; the sender's Via keeps its parameters and only its
// sent-by becomes where the request came from.
TEST_F(StatelessProxy, RequestRewrites)
{
    Extension("102", "", {{"sip:102@10.0.0.20:5080", kNow + 60}});
    struct Case {
        std::string vias, maxForwards;
        int status;
        std::string expectVias, expectMaxForwards;
    } cases[] = {
        // clang-format off
        {kSenderVia, "Max-Forwards: 70\r\n", 0, "Via: SIP/2.0/UDP 10.0.0.9:5070;branch=z9hG4bKa;rport\r\n", "Max-Forwards: 69\r\n"},
        {"v: SIP/2.0/UDP phone.example;branch=z9hG4bKb\r\nVia: SIP/2.0/UDP 10.0.0.7\r\n", "", 0, "v: SIP/2.0/UDP 10.0.0.9:5070;branch=z9hG4bKb\r\nVia: SIP/2.0/UDP 10.0.0.7\r\n", "Max-Forwards: 19\r\n"},
        {"Via: SIP/2.0/UDP 192.168.5.5;branch=z9hG4bKc, SIP/2.0/UDP 10.0.0.7;branch=z9hG4bKd\r\n", "Max-Forwards: 2\r\n", 0, "Via: SIP/2.0/UDP 10.0.0.9:5070;branch=z9hG4bKc, SIP/2.0/UDP 10.0.0.7;branch=z9hG4bKd\r\n", "Max-Forwards: 1\r\n"},
        {"Via: SIP / 2.0 / UDP 192.168.5.5:5099 ;branch=z9hG4bKe\r\n", "Max-Forwards: 900\r\n", 0, "Via: SIP / 2.0 / UDP 10.0.0.9:5070 ;branch=z9hG4bKe\r\n", "Max-Forwards: 254\r\n"},
        {kSenderVia, "Max-Forwards: 1\r\n", 483, "", ""},
        {kSenderVia, "Max-Forwards: 0\r\n", 483, "", ""},
        {kSenderVia, "Max-Forwards: junk\r\n", 483, "", ""},
        {kSenderVia, "Max-Forwards: -3\r\n", 483, "", ""},
        // clang-format on
    };
    for (const Case &c : cases) {
        transport = FakeTransport();
        Request("SUBSCRIBE", "102", c.vias + c.maxForwards + "Event: presence\r\n");
        EXPECT_EQ(transport.answered, c.status) << c.vias << c.maxForwards;
        if (c.status) {
            EXPECT_TRUE(transport.sent.empty());
            continue;
        }
        ASSERT_EQ(transport.sent.size(), 1u) << c.vias;
        const Sent &out = transport.sent[0];
        EXPECT_EQ(out.to, "10.0.0.20:5080");
        EXPECT_EQ(out.text.rfind("SUBSCRIBE sip:102@10.0.0.20:5080 SIP/2.0\r\n", 0), 0u);
        EXPECT_NE(out.text.find(std::string("\r\n") + kOwnVia + c.expectVias), std::string::npos)
            << out.text;
        EXPECT_NE(out.text.find(c.expectMaxForwards), std::string::npos) << out.text;
    }
}

// Message waiting goes to the mailbox's voice mail extension; every live
// contact gets its own copy with its own branch, grown by little more than
// the exchange's Via (a fan-out is no amplifier); contacts that are the
// exchange itself or a name to resolve are never sent to.
TEST_F(StatelessProxy, TargetsAndRefusals)
{
    Extension("201", "299", {{"sip:201@10.0.0.21", kNow + 60}});
    Extension("299", "", {{"sip:299@198.51.100.9:5090", kNow + 60}});
    Extension("202", "", {{"sip:202@10.0.0.22", kNow + 60}, {"sip:202@10.0.0.23", kNow - 599}});
    Extension("203", "", {{"sip:203@10.0.0.24", kNow - 601}});
    Extension("205", "",
              {{"sip:205@10.0.0.1:5060", kNow + 60}, {"sip:205@203.0.113.1:5062", kNow + 60}});
    Extension("206", "", {{"sip:206@phone.example", kNow + 60}});
    struct Case {
        const char *method, *user, *event;
        int status;
        std::vector<std::string> to;
    } cases[] = {
        // clang-format off
        {"SUBSCRIBE", "201", "Event: message-summary\r\n", 0, {"198.51.100.9:5090"}},
        {"NOTIFY", "201", "o: message-summary\r\n", 0, {"198.51.100.9:5090"}},
        {"SUBSCRIBE", "201", "Event: presence\r\n", 0, {"10.0.0.21:5060"}},
        {"SUBSCRIBE", "202", "Event: message-summary\r\n", 404, {}},
        {"NOTIFY", "202", "Event: dialog\r\n", 0, {"10.0.0.22:5060", "10.0.0.23:5060"}},
        {"SUBSCRIBE", "555", "Event: presence\r\n", 404, {}},
        {"SUBSCRIBE", "203", "Event: presence\r\n", 480, {}},
        {"SUBSCRIBE", "205", "Event: presence\r\n", 480, {}},
        {"SUBSCRIBE", "206", "Event: presence\r\n", 480, {}},
        // clang-format on
    };
    for (const Case &c : cases) {
        transport = FakeTransport();
        size_t in = Request(c.method, c.user, std::string(kSenderVia) + c.event);
        EXPECT_EQ(transport.answered, c.status) << c.method << " " << c.user << " " << c.event;
        std::vector<std::string> got;
        for (size_t i = 0; i < transport.sent.size(); i++) {
            const Sent &out = transport.sent[i];
            got.push_back(out.to);
            EXPECT_LE(out.text.size(), in + 100) << out.text;
            std::string host = out.to.substr(0, out.to.find(':'));
            // The Request-URI is the contact's.
            EXPECT_NE(out.text.substr(0, out.text.find("\r\n")).find("@" + host),
                      std::string::npos);
            // Private contacts see the private address, public ones the public.
            std::string own = host.rfind("10.", 0) == 0 ? "10.0.0.1:5060" : "203.0.113.1:5062";
            EXPECT_NE(out.text.find("\r\nVia: SIP/2.0/UDP " + own + ";rport;branch=z9hG4bK" +
                                    std::to_string(i) + "\r\n"),
                      std::string::npos)
                << out.text;
        }
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, c.to) << c.user << " " << c.event;
    }
}

// A response goes on only when its top Via is the exchange's own and the
// next one is a dotted address that is not the exchange.
TEST_F(StatelessProxy, ResponseRewrites)
{
    struct Case {
        std::string vias;
        const char *to; // "" = dropped
        std::string remaining;
    } cases[] = {
        // clang-format off
        {"Via: SIP/2.0/UDP 10.0.0.1:5060;rport;branch=z9hG4bK7\r\nVia: SIP/2.0/UDP 10.0.0.9:5070;branch=z9hG4bKa;rport\r\n", "10.0.0.9:5070", "\r\nVia: SIP/2.0/UDP 10.0.0.9:5070;branch=z9hG4bKa;rport\r\nTo:"},
        {"v: SIP/2.0/UDP 203.0.113.1:5062;branch=z9hG4bK7\r\nv: SIP/2.0/UDP 198.51.100.7;branch=z9hG4bKa\r\n", "198.51.100.7:5060", "\r\nv: SIP/2.0/UDP 198.51.100.7;branch=z9hG4bKa\r\nTo:"},
        {"Via: SIP/2.0/UDP 10.0.0.1;branch=z9hG4bK7, SIP/2.0/UDP 10.0.0.9:5070;branch=z9hG4bKa\r\n", "10.0.0.9:5070", "\r\nVia: SIP/2.0/UDP 10.0.0.9:5070;branch=z9hG4bKa\r\nTo:"},
        {"Via: SIP/2.0/UDP 198.51.100.66:5060;branch=z9hG4bK7\r\nVia: SIP/2.0/UDP 198.51.100.66:5060\r\n", "", ""},
        {"Via: SIP/2.0/UDP 10.0.0.1:5061;branch=z9hG4bK7\r\nVia: SIP/2.0/UDP 10.0.0.9:5070\r\n", "", ""},
        {"Via: SIP/2.0/UDP 10.0.0.1:5060;branch=z9hG4bK7\r\nVia: SIP/2.0/UDP phone.example:5070\r\n", "", ""},
        {"Via: SIP/2.0/UDP 10.0.0.1:5060;branch=z9hG4bK7\r\n", "", ""},
        {"Via: SIP/2.0/UDP 10.0.0.1:5060;branch=z9hG4bK7\r\nVia: SIP/2.0/UDP 203.0.113.1:5062\r\n", "", ""},
        {"Via: SIP/2.0/UDP 10.0.0.1:5060;branch=z9hG4bK7\r\nVia: SIP/2.0/UDP 0.0.0.0:5070\r\n", "", ""},
        {"Via: SIP/2.0/UDP 10.0.0.1:5060;branch=z9hG4bK7\r\nVia: SIP/2.0/UDP 10.0.0.9:50x0\r\n", "", ""},
        {"", "", ""},
        // clang-format on
    };
    for (const Case &c : cases) {
        transport = FakeTransport();
        Receive("SIP/2.0 200 OK\r\n" + c.vias +
                "To: <sip:102@pbx>;tag=2\r\nFrom: <sip:101@pbx>;tag=1\r\nCall-ID: c1\r\n"
                "CSeq: 1 SUBSCRIBE\r\nContent-Length: 0\r\n\r\n");
        ASSERT_EQ(transport.sent.size(), c.to[0] ? 1u : 0u) << c.vias;
        if (!c.to[0])
            continue;
        EXPECT_EQ(transport.sent[0].to, c.to);
        EXPECT_NE(transport.sent[0].text.find(c.remaining), std::string::npos)
            << transport.sent[0].text;
    }
}

// One source gets 100 relayed datagrams a second (copies to each contact
// counted); the first request over is answered 503 with Retry-After, the
// rest of that second dropped. Other sources, and the next second, go on.
TEST_F(StatelessProxy, RelayedRequestsAreLimitedPerSourceAndSecond)
{
    Extension("102", "", {{"sip:102@10.0.0.20:5080", kNow + 60}});
    Extension("202", "", {{"sip:202@10.0.0.22", kNow + 60}, {"sip:202@10.0.0.23", kNow + 60}});
    const std::string headers = std::string(kSenderVia) + "Event: presence\r\n";
    // clang-format off
    const struct { int advanceMs; const char *user; int requests; uint32_t from; size_t sent; const char *answers; } steps[] = {
        {0, "202", 10, 0x0a000009, 20, ""},
        {0, "102", 85, 0x0a000009, 80, "503 Retry-After: 1\r\n;"},
        {999, "102", 1, 0x0a000009, 0, ""},
        {0, "102", 3, 0x0a00000a, 3, ""},
        {1, "102", 3, 0x0a000009, 3, ""},
    };
    // clang-format on
    for (const auto &s : steps) {
        clock.Advance(s.advanceMs);
        transport = FakeTransport();
        for (int i = 0; i < s.requests; i++)
            Request("SUBSCRIBE", s.user, headers, s.from);
        EXPECT_EQ(transport.sent.size(), s.sent) << s.user << " " << s.requests;
        EXPECT_EQ(transport.answers, s.answers) << s.user << " " << s.requests;
    }
}
