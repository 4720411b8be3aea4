// Target lists for dialled numbers: plans with dial and host rules, blocked
// numbers, external lines with back-up lines, gateways registering on a
// line, and the emergency mapping.
#include "initiate_list_fixture.h"

namespace
{
class OutboundTest : public InitiateListTest
{
  protected:
    void SetUp() override
    {
        InitiateListTest::SetUp();
        AddExtension({.name = "101"});
        AddContact("101", "sip:101@10.0.0.1");
        AddLine(
            {.name = "A", .id = "acct-a", .server = "sip.a.example", .chain = "B", .abort = 486});
        AddLine({.name = "B", .id = "acct-b", .server = "sip.b.example", .chain = "C"});
        AddLine({.name = "C", .id = "acct-c", .server = "sip.c.example"});
        AddLine({.name = "Intl", .id = "intl", .server = "intl.example"});
        AddLine({.name = "Partner", .id = "p", .server = "partner.example:5080"});
        AddLine({.name = "Gateway", .id = "gw"});
        AddLine({.name = "NoId", .server = "x.example"});
        AddContactTo<LPBXExternalLineList, LPBXExternalLine>("Gateway", "sip:gw@10.0.0.77:5062",
                                                             kNow + 60, "0.5");
        LPBXOutboundPlan plan = AddPlan("Default", "");
        auto dial = plan.GetDialBasedRuleList();
        dial.AddRule("9", 1, "1", "A");
        dial.AddRule("0", 1, "", "A");
        dial.AddRule("00", 0, "", "Intl");
        dial.AddRule("5", 99, "44", "Intl");
        dial.AddRule("6", -3, "", "Intl");
        dial.AddRule("7", 0, "", "-");
        dial.AddRule("8", 1, "", "");
        dial.AddRule("3", 0, "", "Gateway");
        dial.AddRule("2", 0, "", "Missing");
        dial.AddRule("4", 0, "", "NoId");
        plan.GetSipHostBasedRuleList().AddRule("partner.example", "Partner");
        AddPlan("Closed", "-");
    }
};

struct RouteCase {
    const char *what, *plan, *target;
    bool ok;
    std::vector<std::string> items;
};

TEST_F(OutboundTest, DialledNumbersRouteByPlan)
{
    std::string huge = "0" + std::string(4000, '1');
    std::string hugeTarget = "<sip:" + huge + "@>";
    std::string digits(240, '3');
    std::string longTarget = "<sip:00" + digits + "@>";
    std::string longRemote = ("<sip:00" + digits + "@intl.example>").substr(0, 259);
    // clang-format off
    const RouteCase cases[] = {
        {"dial rule removes and prepends onto a line with two back-up lines", "default", "<sip:9555@>", true, {"+0 <sip:1555@sip.a.example> acct-a", "+120 <sip:1555@sip.b.example> acct-b", "+240 <sip:1555@sip.c.example> acct-c"}},
        {"the longer prefix 00 wins and keeps the number", "DEFAULT", "sip:0044123@", true, {"+0 <sip:0044123@intl.example> intl"}},
        {"055 goes to A without its leading 0", "Default", "<sip:055@>", true, {"+0 <sip:55@sip.a.example> acct-a", "+120 <sip:55@sip.b.example> acct-b", "+240 <sip:55@sip.c.example> acct-c"}},
        {"the host rule beats every dial rule", "Default", "<sip:0044123@Partner.Example>", true, {"+0 <sip:0044123@partner.example:5080> p"}},
        {"RemoveDigits beyond the length leaves only the prefix", "Default", "<sip:512@>", true, {"+0 <sip:44@intl.example> intl"}},
        {"a negative RemoveDigits removes nothing", "Default", "<sip:612@>", true, {"+0 <sip:612@intl.example> intl"}},
        {"a dial rule on \"-\" blocks", "Default", "<sip:7123@>", false, {}},
        {"an empty dial-on line routes the rewritten number internally", "Default", "<sip:8101@>", true, {"+0 sip:101@10.0.0.1 101"}},
        {"no rule: the default line (internal) applies", "Default", "<sip:101@>", true, {"+0 sip:101@10.0.0.1 101"}},
        {"a plan whose default is blocked", "Closed", "<sip:101@>", false, {}},
        {"a missing plan falls back to extensions only", "Nowhere", "<sip:101@>", true, {"+0 sip:101@10.0.0.1 101"}},
        {"an empty plan is extensions only", "", "<sip:9555@>", false, {}},
        {"a gateway registering on its line gets the number as user", "Default", "<sip:3456@>", true, {"+0 sip:3456@10.0.0.77:5062 gw"}},
        {"a missing dial-on line", "Default", "<sip:2000@>", false, {}},
        {"a line without ID adds nothing and fails", "Default", "<sip:4000@>", false, {}},
        // The received text is cut before its host: no user, nothing to ring.
        {"a huge number is cut, not trusted", "Default", hugeTarget.c_str(), false, {}},
        {"a long number fits the line's 259 characters", "Default", longTarget.c_str(), true, {"+0 " + longRemote + " intl"}},
        {"a non-digit number goes nowhere", "Default", "<sip:abc#*@>", false, {}},
    };
    // clang-format on
    for (const RouteCase &c : cases) {
        SCOPED_TRACE(c.what);
        list.DeleteAll();
        bool ok = GenerateOutboundCallList(list, c.plan, c.target, kCaller, prompt, hold, 70);
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(Items(), c.items);
    }
    EXPECT_TRUE(Logged("Outbound call blocked under plan"));
    EXPECT_TRUE(
        Logged("Unable to find outbound dial rule for line. Attempting with 'extensions only'."));
    EXPECT_TRUE(Logged("Unable to find any external dial-on-line named \"Missing\"."));
    EXPECT_TRUE(Logged("External line has not been properly setup with an ID"));
}

TEST_F(OutboundTest, LineItemsCarryAccountChainAndFlags)
{
    LPBXExternalLine line;
    ASSERT_TRUE(LPBXExternalLineList().Open(line, "A"));
    line.SetOutboundProxy("proxy.a.example:5061");
    line.SetAuthUserID("auth-a");
    line.SetAlwaysRelay(true);
    line.SetRelayNotNeeded(true);
    line.SetDisablePolling(true);
    ASSERT_TRUE(
        GenerateOutboundCallList(list, "Default", "<sip:9555@>", kCaller, prompt, hold, 70));
    ASSERT_EQ(list.GetCount(), 3);
    // Newest first: C, B, then A at the end of the list.
    LSipCallInitiateItem *c = list.GetFirst();
    LSipCallInitiateItem *a = LListNext(LListNext(c));
    // Always relay (8) overrides relay not needed; polling disabled is 1.
    EXPECT_EQ(Describe(*a), "<sip:1555@sip.a.example> from \"Alice\" <sip:acct-a@sip.a.example> as "
                            "acct-a auth auth-a:secret proxy proxy.a.example:5061 rules - hops 70 "
                            "abort 486 flags 9");
    EXPECT_EQ(LListNext(c)->GetChainAbortResponse(), 600);
    // The last line has no chain.
    EXPECT_EQ(Describe(*c), "<sip:1555@sip.c.example> from \"Alice\" <sip:acct-c@sip.c.example> as "
                            "acct-c auth acct-c:secret proxy sip.c.example rules - hops 70 abort "
                            "200 flags 0");
    list.DeleteAll();
    ASSERT_TRUE(GenerateOutboundCallList(list, "Default", "<sip:0044@>", "<sip:100@pbx.test>",
                                         prompt, hold, 70));
    EXPECT_STREQ(list.GetFirst()->GetCall().localNameAddr, "\"intl\" <sip:intl@intl.example>")
        << "without a display name the line ID is shown";
}

TEST_F(OutboundTest, ChainLoopStopsAfterTenLines)
{
    LPBXExternalLine line;
    ASSERT_TRUE(LPBXExternalLineList().Open(line, "C"));
    line.SetChainLine("A");
    ASSERT_TRUE(
        GenerateOutboundCallList(list, "Default", "<sip:9555@>", kCaller, prompt, hold, 70));
    ASSERT_EQ(list.GetCount(), 10);
    EXPECT_EQ(list.GetFirst()->GetStartTime() - kNow, 9 * 120);
}

TEST_F(OutboundTest, EmergencyNumberUsesItsLineWhateverThePlan)
{
    LPBXSettings::EmergencyEnabled.Set(true);
    LPBXSettings::EmergencyNumber.Set("112");
    LPBXSettings::EmergencyDial.Set("911");
    LPBXSettings::EmergencyLine.Set("intl");
    // clang-format off
    struct { const char *plan, *target; bool ok; std::vector<std::string> items; } cases[] = {
        {"Closed", "<sip:112@>", true, {"+0 <sip:911@intl.example> intl"}},
        {"Default", "sip:112@somewhere.example", true, {"+0 <sip:911@intl.example> intl"}},
        // A far-end caller transferring under "-" must not reach the
        // emergency line through the exchange.
        {"-", "<sip:112@>", false, {}},
        {"Closed", "<sip:1120@>", false, {}},
    };
    // clang-format on
    for (auto &c : cases) {
        SCOPED_TRACE(std::string(c.plan) + " " + c.target);
        list.DeleteAll();
        EXPECT_EQ(GenerateOutboundCallList(list, c.plan, c.target, kCaller, prompt, hold, 70),
                  c.ok);
        EXPECT_EQ(Items(), c.items);
    }
    LPBXSettings::EmergencyLine.Set("gone");
    list.DeleteAll();
    EXPECT_FALSE(GenerateOutboundCallList(list, "Closed", "<sip:112@>", kCaller, prompt, hold, 70))
        << "without its line the plan decides";
    LPBXSettings::EmergencyLine.Set("intl");
    LPBXSettings::EmergencyEnabled.Set(false);
    EXPECT_FALSE(GenerateOutboundCallList(list, "Closed", "<sip:112@>", kCaller, prompt, hold, 70));
}
} // namespace
