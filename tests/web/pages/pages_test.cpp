// The configuration pages driven with forms as a browser posts them: the
// stored records, validation messages, redirects and encoded output.
#include "captured_pages.h"
#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"
#include "config/pbx_fixture.h"
#include "config/pbx_group.h"
#include "config/pbx_outbound_plan.h"
#include "support/file_size_limit.h"
#include "web/pages/control_pages.h"

#include <ctime>
#include <filesystem>
#include <set>

namespace
{
TEST_F(PagesTest, ExtensionSaveChecksAndStores)
{
    std::string out = Run(VWExtensionProp, "save=1&name=+101+&password=pw&displayname=Desk");
    EXPECT_TRUE(Has(out, "Location: extensionlist")) << out;
    char text[LPathSize];
    ASSERT_TRUE(LPBXExtensionList().Exists("101"));
    LPBXExtension ext = OpenRecord(LPBXExtensionList(), "101");
    EXPECT_STREQ(ext.GetPassword(text), "pw");
    EXPECT_STREQ(ext.GetDisplayName(text), "Desk");

    const char *const noName = "Every extension must have a Number or UserID.";
    // clang-format off
    struct Case { const char *fields, *message; } cases[] = {
        {"save=1&name=", noName},
        {"save=1&name=../etc", noName},
        {"save=1&name=a%01", noName},
        {"save=1&name=x_", noName},
        {"save=1&name=102&usevoicemail=1&usetna=1", "You cannot use both Voice Mail and Transfer"},
        {"save=1&name=102&usevoicemail=1&voicemaildelay=-3", "Voice Mail Extension or Voice Mail Delay Time is invalid."},
        {"save=1&name=101", "Another extension with the same Number"},
        {"save=1&name=abc&usetna=1", "Please enter the transfer to number and the delay time."},
    };
    // clang-format on
    for (const Case &c : cases)
        EXPECT_TRUE(Has(Run(VWExtensionProp, c.fields), c.message)) << c.fields;
    EXPECT_FALSE(std::filesystem::exists(root + "/etc")) << "nothing outside the tree";
    // A duplicate in another case is refused too.
    OpenRecord(LPBXExtensionList(), "bob").SetPassword("x");
    EXPECT_TRUE(Has(Run(VWExtensionProp, "save=1&name=BOB"), "already exists"));
}

// A change the disk refuses must not look saved: no redirect to the list.
TEST_F(PagesTest, ASaveTheDiskRefusesIsReportedNotShownAsDone)
{
    Run(VWExtensionProp, "save=1&name=101&password=pw&displayname=Desk");
    std::string out;
    {
        vtest::FileSizeLimit full(0);
        out = Run(VWExtensionProp, "save=1&id=101&name=101&password=new&displayname=Hall");
    }
    EXPECT_TRUE(Has(out, "500 Internal Server Error")) << out;
    EXPECT_TRUE(Has(out, "could not be stored completely"));
    EXPECT_FALSE(Has(out, "Location:"));
    char text[LPathSize];
    EXPECT_STREQ(OpenRecord(LPBXExtensionList(), "101").GetPassword(text), "pw");
    // The next request starts afresh.
    EXPECT_TRUE(Has(Run(VWExtensionProp, "save=1&id=101&name=101&password=new"),
                    "Location: extensionlist"));
}

TEST_F(PagesTest, RenameMovesRegistrationsAndDeleteAsksFirst)
{
    LPBXExtension ext = OpenRecord(LPBXExtensionList(), "101");
    ext.SetPassword("pw");
    ASSERT_TRUE(ext.AddContact("sip:101@10.0.0.5", time(nullptr) + 600, "0.5"));
    Run(VWExtensionProp, "save=1&id=101&name=105");
    EXPECT_FALSE(LPBXExtensionList().Exists("101"));
    LPBXExtension moved = OpenRecord(LPBXExtensionList(), "105");
    EXPECT_EQ(PBXTest::Keys<LPBXContactListIterator>(moved).size(), 1u);

    // A rename that fails a later check leaves the form on the new name, so
    // that sending it again corrects the record instead of refusing it.
    std::string again = Run(VWExtensionProp, "save=1&id=105&name=106&usetna=1");
    EXPECT_TRUE(Has(again, "Please enter the transfer to number"));
    EXPECT_TRUE(Has(again, "name=\"id\" value=\"106\"")) << again;
    EXPECT_TRUE(Has(Run(VWExtensionProp, "save=1&id=106&name=105&usetna=1&tna=200&tnadelay=9"),
                    "Location: extensionlist"));
    EXPECT_FALSE(LPBXExtensionList().Exists("106"));

    std::string ask = Run(VWExtensionDelete, "id=105");
    EXPECT_TRUE(Has(ask, "Are you sure you want to delete the selected item?"));
    EXPECT_TRUE(LPBXExtensionList().Exists("105"));
    Run(VWExtensionDelete, "id=105&confirmed=yes");
    EXPECT_FALSE(LPBXExtensionList().Exists("105"));
    // Traversal through the id deletes nothing outside the list.
    std::string victim = shared + "/victim";
    WriteFile(victim, "");
    Run(VWExtensionDelete, "id=../../victim&confirmed=yes");
    Run(VWExtensionDelete, "id=..%5Cvictim&confirmed=yes");
    EXPECT_TRUE(std::filesystem::exists(victim));
}

TEST_F(PagesTest, ListShowsContactsAsTextAndHidesExpired)
{
    for (auto [name, expires] :
         {std::pair{"101", time(nullptr) + 600}, std::pair{"102", time(nullptr) - 5}}) {
        LPBXExtension ext = OpenRecord(LPBXExtensionList(), name);
        ext.SetDisplayName("<img src=x onerror=alert(1)>");
        ext.AddContact((std::string("<script>alert(") + name + ")</script>").c_str(), expires,
                       "0.5");
    }
    std::string out = Run(VWExtensionList, "");
    EXPECT_FALSE(Has(out, "<script>alert(")) << out;
    EXPECT_FALSE(Has(out, "<img src=x"));
    EXPECT_TRUE(Has(out, "&lt;script&gt;alert(101)"));
    EXPECT_FALSE(Has(out, "alert(102)")) << "an expired registration shows nothing";
    EXPECT_TRUE(Has(out, "expires at "));
}

TEST_F(PagesTest, PlanRulesAndGroupMembers)
{
    Run(VWPlanProp, "save=1&name=Office&dialonline=[Blocked]");
    char text[LPathSize];
    ASSERT_TRUE(LPBXOutboundPlanList().Exists("office"));
    LPBXOutboundPlan plan = OpenRecord(LPBXOutboundPlanList(), "office");
    EXPECT_STREQ(plan.GetDefaultDialOnLine(text), "-");

    // clang-format off
    struct Case { const char *fields, *message; } cases[] = {
        {"id=office&saverule=1&startswith=9&removedigits=1", "Location: planprop?id=office"},
        {"id=office&saverule=1&startswith=", "&quot;If number starts with&quot; field is required."},
        {"id=office&saverule=1&startswith=8&removedigits=-1", "Remove digits"},
        {"id=office&saverule=1&startswith=9", "There is another dial based rule"},
        {"id=../x&saverule=1&startswith=7", "Invalid Outbound Dialing Plan found."},
    };
    // clang-format on
    for (const Case &c : cases)
        EXPECT_TRUE(Has(Run(VWDialRuleProp, c.fields), c.message)) << c.fields;
    EXPECT_EQ(PBXTest::Keys<LPBXOutboundPlan::DialBasedRuleListIterator>(plan).size(), 1u);

    Run(VWGroupProp, "save=1&name=701&waithold=chimes");
    EXPECT_TRUE(Has(Run(VWGroupAdd, "add=1&name=701"), "There is another group"));
    Run(VWGroupExtensionProp, "id=701&saveext=1&extension=101&delay=5");
    EXPECT_TRUE(Has(Run(VWGroupExtensionProp, "id=701&saveext=1&extension=102&delay=-5"),
                    "The delay must be"));
    std::string list = Run(VWGroupList, "");
    EXPECT_TRUE(Has(list, "Chimes"));
    EXPECT_TRUE(Has(list, ">101<")) << list;
    Run(VWGroupProp, "save=1&id=701&name=702&waithold=ringing");
    LPBXGroup group = OpenRecord(LPBXGroupList(), "702");
    EXPECT_EQ(PBXTest::Keys<LPBXGroup::ExtensionListIterator>(group).size(), 1u)
        << "members move with the group";
    EXPECT_FALSE(LPBXGroupList().Exists("701"));
    Run(VWGroupExtensionDelete, "id=702&subid=101&confirmed=yes");
    EXPECT_FALSE(LPBXGroup::ExtensionListIterator(group)) << "the member is gone";
    Run(VWGroupDelete, "id=702&confirmed=yes");
    EXPECT_FALSE(LPBXGroupList().Exists("702"));

    for (const char *host : {"example.com", "EXAMPLE.com"})
        Run(VWSipRuleProp, std::string("id=office&saverule=1&host=") + host);
    EXPECT_TRUE(Has(Run(VWSipRuleProp, "id=office&saverule=1&host=Example.COM"),
                    "There is another sip host rule"));
    Run(VWPlanProp, "save=1&id=office&name=Sales&dialonline=[Blocked]");
    EXPECT_FALSE(LPBXOutboundPlanList().Exists("office"));
    EXPECT_TRUE(Has(Run(VWPlanProp, "id=Sales"), "example.com")) << "rules move with the plan";
    Run(VWSipRuleDelete, "id=Sales&subid=example.com&confirmed=yes");
    EXPECT_FALSE(Has(Run(VWPlanProp, "id=Sales"), "example.com"));
    Run(VWPlanDelete, "id=Sales&confirmed=yes");
    EXPECT_FALSE(LPBXOutboundPlanList().Exists("Sales"));
}

TEST_F(PagesTest, RenamesCarryEveryReferenceAlong)
{
    Run(VWPlanProp, "save=1&name=Office&dialonline=[Extension]");
    Run(VWExtensionProp, "save=1&name=101&password=pw&plan=Office");
    Run(VWExtensionProp, "save=1&name=102&usetna=1&tna=101&tnadelay=9");
    Run(VWGroupProp, "save=1&name=701&waithold=chimes");
    for (const char *ext : {"101", "102"})
        Run(VWGroupExtensionProp, std::string("id=701&saveext=1&extension=") + ext);
    LPBXExternalLine line = OpenRecord(LPBXExternalLineList(), "Provider");
    ASSERT_TRUE(line.SetRingOnLine("101"));

    Run(VWExtensionProp, "save=1&id=101&name=111&plan=Office");
    Run(VWPlanProp, "save=1&id=Office&name=Head+Office");

    char text[LPathSize];
    LPBXGroup group = OpenRecord(LPBXGroupList(), "701");
    std::set<std::string> members;
    for (LPBXGroup::ExtensionListIterator it(group); it; it.Next())
        members.insert(it->GetExtension(text));
    EXPECT_EQ(members, (std::set<std::string>{"102", "111"}));
    LPBXExtension renamed = OpenRecord(LPBXExtensionList(), "111");
    LPBXExtension other = OpenRecord(LPBXExtensionList(), "102");
    EXPECT_STREQ(other.GetTransferNotAnswered(text), "111");
    EXPECT_STREQ(renamed.GetOutboundPlan(text), "Head Office");
    EXPECT_STREQ(renamed.GetPassword(text), "pw") << "an empty password field keeps it";
    EXPECT_STREQ(line.GetString("RingOnLine", "", text), "111");
}

// A deleted plan leaves no extension naming it; other plans stay chosen.
TEST_F(PagesTest, DeletedPlanIsClearedFromItsExtensions)
{
    Run(VWPlanProp, "save=1&name=Office&dialonline=[Extension]");
    Run(VWPlanProp, "save=1&name=Home&dialonline=[Extension]");
    Run(VWExtensionProp, "save=1&name=101&password=pw&plan=Office");
    Run(VWExtensionProp, "save=1&name=102&password=pw&plan=Home");
    Run(VWPlanDelete, "id=office&confirmed=yes");
    EXPECT_FALSE(LPBXOutboundPlanList().Exists("office"));
    char text[LPathSize];
    LPBXExtension cleared = OpenRecord(LPBXExtensionList(), "101");
    LPBXExtension kept = OpenRecord(LPBXExtensionList(), "102");
    EXPECT_STREQ(cleared.GetOutboundPlan(text), "");
    EXPECT_STREQ(kept.GetOutboundPlan(text), "Home");
}

// Outbound calls and the emergency number go out on a line named by text:
// a line renamed through its dialog must stay the chosen one everywhere,
// and the engine hears of every line saved or deleted.
TEST_F(PagesTest, RenamedLineStaysChosenWhereverItWasNamed)
{
    LPBXExternalLine line = OpenRecord(LPBXExternalLineList(), "Provider");
    line.SetLineID("4711");
    LPBXOutboundPlan plan = OpenRecord(LPBXOutboundPlanList(), "Office");
    plan.SetDefaultDialOnLine("PROVIDER");
    auto dial = OpenRecord(plan.GetDialBasedRuleList(), "9");
    dial.SetDialOnLine("Provider");
    auto host = OpenRecord(plan.GetSipHostBasedRuleList(), "example.com");
    host.SetDialOnLine("provider");
    auto other = OpenRecord(plan.GetSipHostBasedRuleList(), "example.org");
    other.SetDialOnLine("Providers");
    LPBXExternalLine backup = OpenRecord(LPBXExternalLineList(), "Backup");
    backup.SetChainLine("Provider");
    LSettingSetString("Emergency", "Line", "Provider");

    EXPECT_TRUE(Has(Run(VWExternalProp, "id=Provider&101=Carrier&106=4711&108=[None]&rbg1=105"
                                        "&submitdef=++OK++&onok=externallist"),
                    "Location: externallist"));
    EXPECT_EQ(linesChanged, 1);
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
    Run(VWExternalDelete, "id=Carrier");
    EXPECT_EQ(linesChanged, 1) << "asking is no change";
    Run(VWExternalDelete, "id=Carrier&confirmed=yes");
    EXPECT_FALSE(LPBXExternalLineList().Exists("Carrier"));
    EXPECT_EQ(linesChanged, 2);
}
} // namespace
