// The records a new installation starts with, and the next free numbers.
#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"
#include "config/pbx_global_settings.h"
#include "config/pbx_group.h"
#include "config/pbx_install.h"
#include "config/pbx_outbound_plan.h"
#include "pbx_fixture.h"

#include <algorithm>
#include <filesystem>

namespace
{
using PBXInstall = PBXTest;

bool IsLowerPassword(const std::string &p)
{
    return p.size() == 8 &&
           std::all_of(p.begin(), p.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

void MakeRecord(const char *list, const char *name)
{
    LSettingsRecord rec("Lines", list);
    LSettingsRecord item(rec, name);
    item.SetString("displayname", name);
}
} // namespace

// What the records hold is the installer's own table; what matters is that
// they fit together: every program extension has its own random password,
// shared with its companion program, and the default line rings the group.
TEST_F(PBXInstall, FreshTreeGetsTheDefaultRecords)
{
    ASSERT_TRUE(PreInstallExtensionsAndExternalLines());
    EXPECT_TRUE(LPBXSettings::Installed.Get());
    char out[LPathSize], pass[LPathSize];
    KeySet names, passwords;
    for (LPBXExtensionListIterator it; it; it.Next()) {
        std::string name = it->GetName(out);
        names.insert(name);
        EXPECT_TRUE(IsSpecificAppExtension(name.c_str())) << name;
        EXPECT_TRUE(IsLowerPassword(it->GetPassword(out))) << name;
        passwords.insert(out);
        EXPECT_STREQ(LPBXGetCompanionPassword(name.c_str(), pass), out) << name;
    }
    EXPECT_EQ(names.size(), 4u);
    EXPECT_EQ(passwords.size(), 4u);
    EXPECT_FALSE(IsSpecificAppExtension("196"));

    LPBXGroup group = OpenRecord(LPBXGroupList(), "701");
    EXPECT_EQ(Keys<LPBXGroup::ExtensionListIterator>(group), (KeySet{"101", "102", "103"}));
    LPBXExternalLine line = OpenRecord(LPBXExternalLineList(), "Default");
    EXPECT_STREQ(line.GetRingOnLine(out), "701");
    LPBXOutboundPlan plan = OpenRecord(LPBXOutboundPlanList(), "default");
    int rules = 0;
    for (LPBXOutboundPlan::DialBasedRuleListIterator r(plan); r; r.Next(), rules++)
        EXPECT_TRUE(LPBXExternalLineList().Exists(r->GetDialOnLine(out))) << out;
    EXPECT_GT(rules, 0);
}

TEST_F(PBXInstall, ExistingGroupAndPlanAreKept)
{
    MakeRecord("Groups", "800");
    MakeRecord("OutboundRules", "Default");
    ASSERT_TRUE(PreInstallExtensionsAndExternalLines());
    EXPECT_EQ(Keys<LPBXGroupListIterator>(), KeySet{"800"});
    LPBXOutboundPlan plan = OpenRecord(LPBXOutboundPlanList(), "default");
    EXPECT_EQ(Keys<LPBXOutboundPlan::DialBasedRuleListIterator>(plan), KeySet{});
    LPBXExternalLine line = OpenRecord(LPBXExternalLineList(), "default");
    char out[LPathSize];
    EXPECT_STREQ(line.GetRingOnLine(out), "800");
}

TEST_F(PBXInstall, RunsOnceAndNeverOverwritesAnExtension)
{
    LPBXExtension ext = OpenRecord(LPBXExtensionList(), "199");
    ASSERT_TRUE(ext.SetPassword("mine"));
    ASSERT_TRUE(PreInstallExtensionsAndExternalLines());
    char out[LPathSize];
    EXPECT_STREQ(ext.GetPassword(out), "mine");
    ASSERT_TRUE(LPBXExternalLineList().Delete("default"));
    ASSERT_TRUE(PreInstallExtensionsAndExternalLines());
    EXPECT_FALSE(LPBXExternalLineList().Exists("default"));
}

TEST_F(PBXInstall, NextFreeNumbers)
{
    struct Case {
        std::vector<const char *> names;
        int extension;
        int group;
    };
    const Case cases[] = {
        {{}, 101, 701},
        {{"101", "150", "199"}, 151, 701},
        {{"alice", "195", "099"}, 101, 701},
        {{"702", "1000x"}, 1001, 1001},
        {{"99999999999999"}, 2147483647, 2147483647},
    };
    for (const Case &c : cases) {
        std::filesystem::remove_all(shared + "/lines_");
        for (const char *name : c.names) {
            MakeRecord("Extensions", name);
            MakeRecord("Groups", name);
        }
        EXPECT_EQ(GetMaxExtensionNo(), c.extension) << c.names.size();
        EXPECT_EQ(GetMaxGroupNo(), c.group) << c.names.size();
    }
}

TEST_F(PBXInstall, SetupTopsUpOrdinaryExtensions)
{
    ASSERT_TRUE(PreInstallExtensionsAndExternalLines());
    MakeRecord("Extensions", "185");
    EXPECT_EQ(PostInstallExtensionsAndExternalLines(4), 3);
    EXPECT_EQ(Keys<LPBXExtensionListIterator>(),
              (KeySet{"185", "186", "187", "188", "195", "197", "198", "199"}));
    // Numbering jumps over the companion programs' range.
    EXPECT_EQ(PostInstallExtensionsAndExternalLines(6), 2);
    EXPECT_TRUE(LPBXExtensionList().Exists("200"));
    EXPECT_FALSE(LPBXExtensionList().Exists("190"));

    LPBXExtension ext = OpenRecord(LPBXExtensionList(), "186");
    char out[LPathSize];
    EXPECT_STREQ(ext.GetDisplayName(out), "Extension 186");
    EXPECT_STREQ(ext.GetVoiceMailExtension(out), "199");
    EXPECT_TRUE(IsLowerPassword(ext.GetPassword(out)));
    EXPECT_EQ(PostInstallExtensionsAndExternalLines(3), 0);
}

TEST_F(PBXInstall, ExternalLineWithIdGetsACompanionPassword)
{
    ASSERT_TRUE(CreateExternalLine("Gateway", "701", "gw-7"));
    EXPECT_FALSE(CreateExternalLine("GATEWAY", "702", "other"));
    LPBXExternalLine line = OpenRecord(LPBXExternalLineList(), "gateway");
    char out[LPathSize], pass[LPathSize];
    EXPECT_STREQ(line.GetLineID(out), "gw-7");
    EXPECT_STREQ(line.GetRingOnLine(out), "701");
    EXPECT_TRUE(IsLowerPassword(line.GetPassword(out)));
    EXPECT_STREQ(LPBXGetCompanionPassword("gw-7", pass), out);
    EXPECT_TRUE(FileHasLine(shared + "/settings", "gw-7Pass", out));
}

TEST_F(PBXInstall, FailedInstallIsLeftUnmarkedAndTriedAgain)
{
    // A file where the external lines' folder belongs: only the default line
    // cannot be made.
    ASSERT_TRUE(LCreateFolder((shared + "/lines_").c_str()));
    WriteFile(shared + "/lines_/external_", "in the way");
    EXPECT_FALSE(PreInstallExtensionsAndExternalLines());
    EXPECT_FALSE(LPBXSettings::Installed.Get());
    std::filesystem::remove(shared + "/lines_/external_");
    ASSERT_TRUE(PreInstallExtensionsAndExternalLines());
    EXPECT_TRUE(LPBXSettings::Installed.Get());
    EXPECT_EQ(Keys<LPBXExternalLineListIterator>(), KeySet{"default"});
}
