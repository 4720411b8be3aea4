// Answer modes (RFC 5373) on the wire: a caller's "Answer-Mode" and
// "Priv-Answer-Mode" reach the called phone only when the call was placed by
// an authenticated extension. A caller from outside (an external line) must
// never make a phone pick up by itself.
#include "sip_call_fixture.h"

#include <string>

namespace
{
using namespace vtest;

class SipCallAnswerMode : public SipCallTest
{
  protected:
    // The INVITE the peer receives when the exchange calls it for a caller
    // whose own INVITE carried callerHeaders.
    Received SentInvite(LSipCall &call, const std::string &callerHeaders, bool autoAnswer,
                        bool rebuilt)
    {
        LSipMessage caller;
        std::string text = PeerRequest("INVITE", "caller-" + std::to_string(++calls), "",
                                       peer.Port() + 1, 1, callerHeaders);
        size_t position = 0;
        EXPECT_TRUE(caller.LoadPacket(text.data(), text.size(), position)) << text;
        LSipRequest invite;
        invite.CreateNewInviteRequest(call, nullptr, nullptr, 20, &caller, autoAnswer);
        if (rebuilt) // as after a 401/407: the request is composed again
            invite.RebuildInvite(call, nullptr, nullptr, 20, &caller, autoAnswer);
        call.SendRequest(invite);
        Received r;
        EXPECT_TRUE(peer.Next(r, 1000));
        return r;
    }
    // Every value of the header name in the received text, in order.
    static std::vector<std::string> Values(const std::string &text, const std::string &name)
    {
        std::vector<std::string> values;
        for (size_t at = text.find("\r\n"); at != std::string::npos;
             at = text.find("\r\n", at + 2)) {
            size_t start = at + 2;
            if (text.compare(start, name.size() + 1, name + ":") != 0)
                continue;
            size_t value = text.find_first_not_of(' ', start + name.size() + 1);
            values.push_back(text.substr(value, text.find("\r\n", value) - value));
        }
        return values;
    }
    int calls = 0;
};

// forwarded: the INVITE of a dialog made from the first towards another target
TEST_F(SipCallAnswerMode, CopiedOnlyForAnAuthenticatedCaller)
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
        EXPECT_EQ(Values(r.text, "Answer-Mode"), c.answerMode) << r.text;
        EXPECT_EQ(Values(r.text, "Priv-Answer-Mode"), c.privAnswerMode) << r.text;
    }
}
} // namespace
