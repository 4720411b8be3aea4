// The configuration pages over HTTP with curl: each kind of record added,
// edited, renamed and deleted through the forms a browser posts, checked in
// the stored records after each step.
#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"
#include "config/pbx_group.h"
#include "config/pbx_outbound_plan.h"
#include "pages_fixture.h"
#include "web/pages/control_pages.h"

#include <algorithm>
#include <atomic>

namespace
{

const char *const kOk = "  OK  ";

int CountMembers(const char *group)
{
    LPBXGroup g;
    if (!LPBXGroupList().Exists(group) || !LPBXGroupList().Open(g, group))
        return -1;
    int members = 0;
    for (LPBXGroup::ExtensionListIterator it(g); it; it.Next())
        members++;
    return members;
}
} // namespace

TEST_F(PagesServerTest, ExtensionAddEditRenameDelete)
{
    std::string added = Post(
        "extensionprop",
        {{"save", "1"}, {"name", "101"}, {"password", "secret"}, {"displayname", "Front Desk"}});
    EXPECT_EQ(Location(added), "extensionlist") << added;
    LPBXExtension ext;
    char text[LPathSize];
    ASSERT_TRUE(LPBXExtensionList().Exists("101"));
    LPBXExtensionList().Open(ext, "101");
    EXPECT_STREQ(ext.GetPassword(text), "secret");
    std::string list = Get("/extensionlist");
    EXPECT_TRUE(Has(list, "Front Desk")) << list;
    EXPECT_TRUE(Has(list, "extensioninstruction?id=101"));

    Post("extensionprop",
         {{"save", "1"}, {"id", "101"}, {"name", "101"}, {"displayname", "Reception"}});
    LPBXExtensionList().Open(ext, "101");
    EXPECT_STREQ(ext.GetDisplayName(text), "Reception");

    Post("extensionprop", {{"save", "1"}, {"id", "101"}, {"name", "105"}, {"password", "pw"}});
    EXPECT_FALSE(LPBXExtensionList().Exists("101"));
    EXPECT_TRUE(LPBXExtensionList().Exists("105"));
    EXPECT_TRUE(Has(Get("/extensionprop?id=105"), "value=\"105\""));

    // A link, even one that says "confirmed", only asks.
    EXPECT_TRUE(Has(Get("/extensiondelete?id=105&confirmed=yes"), "Are you sure"));
    EXPECT_TRUE(LPBXExtensionList().Exists("105"));
    EXPECT_EQ(Location(Post("extensiondelete", {{"id", "105"}, {"confirmed", "yes"}})),
              "extensionlist");
    EXPECT_FALSE(LPBXExtensionList().Exists("105"));

    // Without the session cookie nothing is stored.
    std::string anonymous = vtest::Curl({"-d", "save=1&name=106", base + "/extensionprop"});
    EXPECT_TRUE(Has(anonymous, "This form has expired")) << anonymous;
    EXPECT_FALSE(LPBXExtensionList().Exists("106"));
}

TEST_F(PagesServerTest, ExternalLineWithAdvancedSettingsTellsTheEngine)
{
    const Fields line = {{"101", "Provider"}, {"106", "4711"},    {"107", "pw"},
                         {"108", "[None]"},   {"rbg1", "102"},    {"103", ""},
                         {"200", "on"},       {"submitdef", kOk}, {"onok", "externallist"}};
    std::string refused = Post("externalprop", line);
    EXPECT_TRUE(Has(refused, "Please enter the server name.")) << refused;
    EXPECT_EQ(linesChanged.load(), 0);
    Fields withServer = line;
    withServer[5].second = "sip.example.com";
    EXPECT_EQ(Location(Post("externalprop", withServer)), "externallist");
    EXPECT_EQ(linesChanged.load(), 1);
    LPBXExternalLine stored;
    char text[LPathSize];
    ASSERT_TRUE(LPBXExternalLineList().Exists("Provider"));
    LPBXExternalLineList().Open(stored, "Provider");
    EXPECT_STREQ(stored.GetLineID(text), "4711");
    EXPECT_STREQ(stored.GetServer(text), "sip.example.com");
    EXPECT_TRUE(stored.GetRecordIncoming());
    EXPECT_TRUE(Has(Get("/externallist"), "sip.example.com"));

    Fields advanced = {{"id", "Provider"}, {"rbg1", "102"}, {"103", ""},       {"rbg2", "202"},
                       {"106", "auth77"},  {"107", "00"},   {"108", "[None]"}, {"109", "486"},
                       {"110", "on"},      {"112", "on"},   {"submitdef", kOk}};
    EXPECT_TRUE(
        Has(Post("externaladvancedsettings", advanced), "Please enter the outbound proxy."));
    advanced[2].second = "proxy.example.com:5062";
    EXPECT_EQ(Location(Post("externaladvancedsettings", advanced)), "externallist");
    EXPECT_EQ(linesChanged.load(), 2);
    LPBXExternalLineList().Open(stored, "Provider");
    EXPECT_STREQ(stored.GetOutboundProxy(text), "proxy.example.com:5062");
    EXPECT_STREQ(stored.GetAuthUserID(text), "auth77");
    EXPECT_STREQ(stored.GetPrependCID(text), "00");
    EXPECT_EQ(stored.GetChainAbortResponse(), 486);
    EXPECT_TRUE(stored.GetDisablePolling());
    EXPECT_FALSE(stored.GetProhibitOddRtp());
    EXPECT_TRUE(stored.GetAlwaysRelay());
    // The advanced page shows what was stored; reached through the line
    // dialog's button, it finds the line in the session.
    std::string shown = Get("/externaladvancedsettings?id=Provider");
    EXPECT_TRUE(Has(shown, "value=\"proxy.example.com:5062\"")) << shown;
    Fields viaButton = withServer;
    viaButton.push_back({"submit", "Advanced Settings"});
    viaButton.push_back({"id", "Provider"});
    EXPECT_EQ(Location(Post("externalprop", viaButton)), "externaladvancedsettings");
    EXPECT_TRUE(Has(Get("/externaladvancedsettings"), "value=\"auth77\""));

    // Renamed, the line keeps its settings under the new name only.
    Fields renamed = withServer;
    renamed[0].second = "Carrier";
    renamed.push_back({"id", "Provider"});
    EXPECT_EQ(Location(Post("externalprop", renamed)), "externallist");
    EXPECT_FALSE(LPBXExternalLineList().Exists("Provider"));
    LPBXExternalLineList().Open(stored, "Carrier");
    EXPECT_STREQ(stored.GetOutboundProxy(text), "proxy.example.com:5062");

    Post("externaldelete", {{"id", "Carrier"}, {"confirmed", "yes"}});
    EXPECT_FALSE(LPBXExternalLineList().Exists("Carrier"));
    EXPECT_EQ(linesChanged.load(), 5);
}

TEST_F(PagesServerTest, GroupWithMembers)
{
    for (const char *name : {"101", "102"})
        Post("extensionprop", {{"save", "1"}, {"name", name}, {"password", "pw"}});
    EXPECT_TRUE(Has(Post("groupadd", {{"add", "1"}, {"name", "701"}}), "name=\"name\""));
    EXPECT_EQ(Location(Post("groupprop", {{"save", "1"}, {"name", "701"}, {"waithold", "chimes"}})),
              "grouplist");
    for (auto [ext, delay] : {std::pair{"101", "0"}, std::pair{"102", "5"}})
        EXPECT_EQ(
            Location(Post("groupextensionprop",
                          {{"id", "701"}, {"saveext", "1"}, {"extension", ext}, {"delay", delay}})),
            "groupprop?id=701");
    EXPECT_EQ(CountMembers("701"), 2);
    std::string list = Get("/grouplist");
    EXPECT_TRUE(Has(list, "101, 102") || Has(list, "102, 101")) << list;
    EXPECT_TRUE(Has(list, "Chimes"));
    EXPECT_TRUE(Has(Get("/groupprop?id=701"), "groupextensiondelete?id=701&amp;subid=102"));

    // Renamed, the group takes its members along.
    EXPECT_EQ(Location(Post("groupprop", {{"save", "1"},
                                          {"id", "701"},
                                          {"name", "702"},
                                          {"waithold", "server"},
                                          {"imsserver", "localhost:606"}})),
              "grouplist");
    EXPECT_EQ(CountMembers("701"), -1);
    EXPECT_EQ(CountMembers("702"), 2);
    EXPECT_TRUE(Has(Get("/grouplist"), "Merle Server: localhost:606"));

    Post("groupextensiondelete", {{"id", "702"}, {"subid", "102"}, {"confirmed", "yes"}});
    EXPECT_EQ(CountMembers("702"), 1);
    Post("groupdelete", {{"id", "702"}, {"confirmed", "yes"}});
    EXPECT_EQ(CountMembers("702"), -1);
}

TEST_F(PagesServerTest, PlanWithDialAndHostRules)
{
    LPBXExternalLine line;
    LPBXExternalLineList().Open(line, "Provider");
    line.SetLineID("4711");
    EXPECT_TRUE(Has(Post("planadd", {{"add", "1"}, {"name", "Office"}}), "value=\"Office\""));
    EXPECT_EQ(Location(Post("planprop",
                            {{"save", "1"}, {"name", "Office"}, {"dialonline", "[Blocked]"}})),
              "planlist");
    const Fields dial = {{"id", "Office"},      {"saverule", "1"},   {"startswith", "9"},
                         {"removedigits", "1"}, {"prepend", "0049"}, {"dialonline", "Provider"}};
    EXPECT_EQ(Location(Post("dialruleprop", dial)), "planprop?id=Office");
    EXPECT_EQ(Location(Post("sipruleprop", {{"id", "Office"},
                                            {"saverule", "1"},
                                            {"host", "example.com"},
                                            {"dialonline", "Provider"}})),
              "planprop?id=Office");
    EXPECT_TRUE(Has(Post("sipruleprop", {{"id", "Office"},
                                         {"saverule", "1"},
                                         {"host", "EXAMPLE.com"},
                                         {"dialonline", "Provider"}}),
                    "There is another sip host rule"));
    LPBXOutboundPlan plan;
    char text[LPathSize];
    LPBXOutboundPlanList().Open(plan, "Office");
    EXPECT_STREQ(plan.GetDefaultDialOnLine(text), "-");
    int rules = 0;
    for (LPBXOutboundPlan::DialBasedRuleListIterator it(plan); it; it.Next()) {
        EXPECT_STREQ(it->GetDialOnLine(text), "Provider");
        EXPECT_EQ(it->GetRemoveDigits(), 1);
        rules++;
    }
    EXPECT_EQ(rules, 1);
    std::string shown = Get("/planprop?id=Office");
    EXPECT_TRUE(Has(shown, "example.com")) << shown;
    EXPECT_TRUE(Has(Get("/planlist"), "[Blocked]"));

    // Renamed, the plan takes its rules along.
    EXPECT_EQ(
        Location(Post(
            "planprop",
            {{"save", "1"}, {"id", "Office"}, {"name", "Sales"}, {"dialonline", "[Extension]"}})),
        "planlist");
    EXPECT_FALSE(LPBXOutboundPlanList().Exists("Office"));
    EXPECT_TRUE(Has(Get("/planprop?id=Sales"), "example.com"));

    Post("sipruledelete", {{"id", "Sales"}, {"subid", "example.com"}, {"confirmed", "yes"}});
    Post("dialruledelete", {{"id", "Sales"}, {"subid", "9"}, {"confirmed", "yes"}});
    shown = Get("/planprop?id=Sales");
    EXPECT_FALSE(Has(shown, "example.com")) << shown;
    EXPECT_FALSE(Has(shown, "0049"));
    Post("plandelete", {{"id", "Sales"}, {"confirmed", "yes"}});
    EXPECT_FALSE(LPBXOutboundPlanList().Exists("Sales"));
}

TEST_F(PagesServerTest, RenamesCarryEveryReferenceAlong)
{
    Post("planadd", {{"add", "1"}, {"name", "Office"}});
    Post("planprop", {{"save", "1"}, {"name", "Office"}, {"dialonline", "[Extension]"}});
    Post("extensionprop", {{"save", "1"}, {"name", "101"}, {"password", "pw"}, {"plan", "Office"}});
    Post("extensionprop",
         {{"save", "1"}, {"name", "102"}, {"usetna", "1"}, {"tna", "101"}, {"tnadelay", "9"}});
    Post("groupadd", {{"add", "1"}, {"name", "701"}});
    Post("groupprop", {{"save", "1"}, {"name", "701"}, {"waithold", "chimes"}});
    for (const char *ext : {"101", "102"})
        Post("groupextensionprop", {{"id", "701"}, {"saveext", "1"}, {"extension", ext}});
    LPBXExternalLine line;
    ASSERT_TRUE(LPBXExternalLineList().Open(line, "Provider"));
    ASSERT_TRUE(line.SetRingOnLine("101"));

    Post("extensionprop", {{"save", "1"}, {"id", "101"}, {"name", "111"}, {"plan", "Office"}});
    Post("planprop", {{"save", "1"}, {"id", "Office"}, {"name", "Head Office"}});

    char text[LPathSize];
    LPBXGroup group;
    ASSERT_TRUE(LPBXGroupList().Open(group, "701"));
    std::vector<std::string> members;
    for (LPBXGroup::ExtensionListIterator it(group); it; it.Next())
        members.push_back(it->GetExtension(text));
    std::sort(members.begin(), members.end());
    EXPECT_EQ(members, (std::vector<std::string>{"102", "111"}));
    LPBXExtension renamed, other;
    ASSERT_TRUE(LPBXExtensionList().Open(renamed, "111"));
    ASSERT_TRUE(LPBXExtensionList().Open(other, "102"));
    EXPECT_STREQ(other.GetTransferNotAnswered(text), "111");
    EXPECT_STREQ(renamed.GetOutboundPlan(text), "Head Office");
    EXPECT_STREQ(renamed.GetPassword(text), "pw") << "an empty password field keeps it";
    ASSERT_TRUE(LPBXExternalLineList().Open(line, "Provider"));
    EXPECT_STREQ(line.GetRingOnLine(text), "111");
}

// Outbound calls and the emergency number go out on a line named by text:
// a line renamed through its dialog must stay the chosen one everywhere.
TEST_F(PagesServerTest, RenamedLineStaysChosenWhereverItWasNamed)
{
    LPBXExternalLine line;
    ASSERT_TRUE(LPBXExternalLineList().Open(line, "Provider"));
    line.SetLineID("4711");
    LPBXOutboundPlan plan;
    LPBXOutboundPlan::DialBasedRule dial;
    LPBXOutboundPlan::SipHostBasedRule host, other;
    ASSERT_TRUE(LPBXOutboundPlanList().Open(plan, "Office"));
    plan.SetDefaultDialOnLine("PROVIDER");
    plan.GetDialBasedRuleList().Open(dial, "9");
    dial.SetDialOnLine("Provider");
    plan.GetSipHostBasedRuleList().Open(host, "example.com");
    host.SetDialOnLine("provider");
    plan.GetSipHostBasedRuleList().Open(other, "example.org");
    other.SetDialOnLine("Providers");
    LPBXExternalLine backup;
    ASSERT_TRUE(LPBXExternalLineList().Open(backup, "Backup"));
    backup.SetChainLine("Provider");
    LSettingSetString("Emergency", "Line", "Provider");

    EXPECT_EQ(Location(Post("externalprop", {{"id", "Provider"},
                                             {"101", "Carrier"},
                                             {"106", "4711"},
                                             {"108", "[None]"},
                                             {"rbg1", "105"},
                                             {"submitdef", kOk},
                                             {"onok", "externallist"}})),
              "externallist");

    char text[LPathSize];
    // clang-format off
    struct Row { const char *where; LSettingsRecord *record; const char *key; const char *now; } rows[] = {
        {"plan default", &plan, "DefaultDialOnLine", "Carrier"},
        {"dial rule", &dial, "DialOnLine", "Carrier"},
        {"host rule", &host, "DialOnLine", "Carrier"},
        {"rule naming a longer name", &other, "DialOnLine", "Providers"},
        {"chain of another line", &backup, "ChainLine", "Carrier"},
    };
    // clang-format on
    for (const Row &row : rows)
        EXPECT_STREQ(row.record->GetString(row.key, "", text), row.now) << row.where;
    EXPECT_STREQ(LSettingGetString("Emergency", "Line", "", text), "Carrier");
}

TEST_F(PagesServerTest, PanelPasswordIsSetThroughItsPageAndStoredHashed)
{
    const Fields ok = {{"submitdef", "Save Changes"}, {"101", "admin"}, {"105", "30"}};
    auto with = [&ok](Fields more) {
        more.insert(more.end(), ok.begin(), ok.end());
        return more;
    };
    // clang-format off
    struct Case { Fields fields; const char *message; } refused[] = {
        {with({{"103", "short"}, {"104", "short"}}), "at least 8 characters"},
        {with({{"103", "long-enough-1"}, {"104", "long-enough-2"}}), "two new passwords differ"},
    };
    // clang-format on
    for (const Case &c : refused)
        EXPECT_TRUE(Has(Post("webaccess", c.fields), c.message)) << c.message;
    EXPECT_EQ(Location(Post("webaccess", with({{"103", "first-pass"}, {"104", "first-pass"}}))),
              "main");
    char stored[LPathSize];
    LSettingGetString("WebAccess", "Password", "", stored);
    EXPECT_EQ(std::string(stored).find("first-pass"), std::string::npos) << stored;
    // Once set, changing it needs the current one; no page shows either.
    std::string wrong =
        Post("webaccess", with({{"102", "guess"}, {"103", "second-pass"}, {"104", "second-pass"}}));
    EXPECT_TRUE(Has(wrong, "The current password is not right.")) << wrong;
    EXPECT_FALSE(Has(wrong, "guess") || Has(wrong, "second-pass"));
    EXPECT_EQ(vtest::WebLogOn(base, "101=admin&102=second-pass&submitdef=++OK++"), "");
    EXPECT_NE(vtest::WebLogOn(base, "101=admin&102=first-pass&submitdef=++OK++"), "");
}
