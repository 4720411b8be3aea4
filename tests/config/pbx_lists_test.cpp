// Creating, listing, renaming and deleting every kind of entity, with names
// in any case and names that try to leave their folder.
#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"
#include "config/pbx_group.h"
#include "config/pbx_outbound_plan.h"
#include "pbx_fixture.h"

#include <functional>
#include <vector>

namespace
{

// One top-level list seen through the same operations.
struct Kind {
    const char *folder; // under lines_/
    std::function<bool(const char *key)> write;
    std::function<KeySet()> list;
    std::function<bool(const char *key)> remove;
    std::function<bool(const char *from, const char *to)> rename;
    std::function<bool(const char *key)> exists;
};

template <class Rec, class List, class Iterator> Kind MakeKind(const char *folder)
{
    return Kind{folder,
                [](const char *key) {
                    Rec rec;
                    return List().Open(rec, key) && rec.SetString("Marker", key);
                },
                [] { return PBXTest::Keys<Iterator>(); },
                [](const char *key) { return List().Delete(key); },
                [](const char *from, const char *to) { return List().Rename(from, to); },
                [](const char *key) { return List().Exists(key); }};
}

const std::vector<Kind> &Kinds()
{
    static const std::vector<Kind> kinds = {
        MakeKind<LPBXExtension, LPBXExtensionList, LPBXExtensionListIterator>("extensions_"),
        MakeKind<LPBXExternalLine, LPBXExternalLineList, LPBXExternalLineListIterator>("external_"),
        MakeKind<LPBXGroup, LPBXGroupList, LPBXGroupListIterator>("groups_"),
        MakeKind<LPBXOutboundPlan, LPBXOutboundPlanList, LPBXOutboundPlanListIterator>(
            "outboundrules_"),
    };
    return kinds;
}

using PBXLists = PBXTest;
} // namespace

TEST_F(PBXLists, CreateListRenameDeleteEveryKind)
{
    for (const Kind &k : Kinds()) {
        SCOPED_TRACE(k.folder);
        EXPECT_EQ(k.list(), KeySet{});
        ASSERT_TRUE(k.write("101"));
        ASSERT_TRUE(k.write("Night Shift"));
        EXPECT_EQ(k.list(), (KeySet{"101", "night shift"}));

        ASSERT_TRUE(k.rename("NIGHT SHIFT", "Day"));
        EXPECT_EQ(k.list(), (KeySet{"101", "day"}));
        EXPECT_FALSE(k.rename("day", "101")) << "rename over an existing record";
        EXPECT_FALSE(k.rename("missing", "new"));
        EXPECT_EQ(k.list(), (KeySet{"101", "day"}));

        EXPECT_TRUE(k.exists("DAY"));
        ASSERT_TRUE(k.remove("Day"));
        EXPECT_FALSE(k.exists("day"));
        EXPECT_FALSE(k.remove("day"));
        EXPECT_EQ(k.list(), KeySet{"101"});
    }
}

TEST_F(PBXLists, NamesCompareWithoutCase)
{
    LPBXExtensionList list;
    LPBXExtension upper, lower;
    ASSERT_TRUE(list.Open(upper, "Alice"));
    ASSERT_TRUE(upper.SetPassword("secret"));
    ASSERT_TRUE(list.Open(lower, "aLICE"));
    char out[LPathSize];
    EXPECT_STREQ(lower.GetPassword(out), "secret");
    EXPECT_STREQ(lower.GetName(out), "alice");
    EXPECT_FALSE(CreateExtension("ALICE", "dup", false));
    EXPECT_STREQ(lower.GetPassword(out), "secret");
}

TEST_F(PBXLists, HostileNamesNeverLeaveTheirFolder)
{
    const char *names[] = {"", ".", "..", "../../escape", "a/b", "a\\b", "x_", "evil\r\nkey=1"};
    for (const Kind &k : Kinds()) {
        ASSERT_TRUE(k.write("101"));
        for (const char *name : names) {
            SCOPED_TRACE(std::string(k.folder) + " \"" + name + "\"");
            EXPECT_FALSE(k.write(name));
            EXPECT_FALSE(k.exists(name));
            EXPECT_FALSE(k.remove(name));
            EXPECT_FALSE(k.rename("101", name));
        }
        EXPECT_EQ(k.list(), KeySet{"101"});
    }
    EXPECT_FALSE(Exists(shared + "/escape"));
    EXPECT_FALSE(Exists(root + "/escape"));
    EXPECT_FALSE(CreateExtension("../../escape", "x", false));
}

TEST_F(PBXLists, HandWrittenTreeListsOnlyReachableRecords)
{
    ASSERT_TRUE(LCreateFolder((Lines() + "/extensions_/102_/contactlist_").c_str()));
    ASSERT_TRUE(LCreateFolder((Lines() + "/groups_/800_/extensions_").c_str()));
    WriteFile(Lines() + "/extensions_/101", "Password=x\r\npassword=y\r\n");
    // Upper-case file names are never opened by their key: not listed.
    WriteFile(Lines() + "/extensions_/Bob", "password=b\r\n");
    // The tree's own lock and temporary files are no records.
    WriteFile(Lines() + "/extensions_/..lock", "");
    WriteFile(Lines() + "/extensions_/101..tmp", "");
    WriteFile(Lines() + "/extensions_/102_/contactlist_/1", "contact=sip:102@h\r\n");
    WriteFile(Lines() + "/groups_/800_/extensions_/101", "delay=3\r\n");

    EXPECT_EQ(Keys<LPBXExtensionListIterator>(), (KeySet{"101", "102"}));
    EXPECT_EQ(Keys<LPBXGroupListIterator>(), KeySet{"800"});

    LPBXExtension ext = OpenRecord(LPBXExtensionList(), "101");
    char out[LPathSize];
    EXPECT_STREQ(ext.GetPassword(out), "y");
    EXPECT_STREQ(ext.GetOutboundPlan(out), "Default");
    LPBXGroup group = OpenRecord(LPBXGroupList(), "800");
    EXPECT_EQ(Keys<LPBXGroup::ExtensionListIterator>(group), KeySet{"101"});
    LPBXGroup::ExtensionListIterator member(group);
    ASSERT_TRUE(member);
    EXPECT_EQ(member->GetDelayTime(), 3);
    EXPECT_STREQ(member->GetExtension(out), "101");
}

TEST_F(PBXLists, DeletingAGroupOrPlanDeletesItsSubRecords)
{
    LPBXGroup group = OpenRecord(LPBXGroupList(), "701");
    ASSERT_TRUE(group.GetExtensionList().AddMember("101", 0));
    ASSERT_TRUE(group.GetExtensionList().AddMember("102", 5));
    LPBXOutboundPlan plan = OpenRecord(LPBXOutboundPlanList(), "default");
    ASSERT_TRUE(plan.GetDialBasedRuleList().AddRule("9", 1, "", "default"));
    ASSERT_TRUE(plan.GetSipHostBasedRuleList().AddRule("pbx.example.org", ""));

    // Neither has a file of its own: they exist through their sub-records.
    EXPECT_EQ(Keys<LPBXGroupListIterator>(), KeySet{"701"});
    EXPECT_EQ(Keys<LPBXOutboundPlanListIterator>(), KeySet{"default"});
    EXPECT_TRUE(LPBXGroupList().Delete("701"));
    EXPECT_TRUE(LPBXOutboundPlanList().Delete("DEFAULT"));
    EXPECT_EQ(Keys<LPBXGroupListIterator>(), KeySet{});
    EXPECT_EQ(Keys<LPBXOutboundPlanListIterator>(), KeySet{});
    EXPECT_FALSE(Exists(Lines() + "/groups_/701_"));
    EXPECT_FALSE(Exists(Lines() + "/outboundrules_/default_"));
}

TEST_F(PBXLists, RuleAndMemberKeysStayFixedAndUniqueWithoutCase)
{
    LPBXOutboundPlan plan = OpenRecord(LPBXOutboundPlanList(), "p");
    auto hosts = plan.GetSipHostBasedRuleList();
    ASSERT_TRUE(hosts.AddRule("Gw.Example.COM", "line1"));
    ASSERT_TRUE(hosts.AddRule("gw.example.com", "line2"));
    EXPECT_EQ(Keys<LPBXOutboundPlan::SipHostBasedRuleListIterator>(plan), KeySet{"gw.example.com"});
    LPBXOutboundPlan::SipHostBasedRuleListIterator it(plan);
    ASSERT_TRUE(it);
    char out[LPathSize];
    EXPECT_STREQ(it->GetDialOnLine(out), "line2");
    // Editing a field never moves the record.
    ASSERT_TRUE(it->SetHost("other.example.com"));
    EXPECT_EQ(Keys<LPBXOutboundPlan::SipHostBasedRuleListIterator>(plan), KeySet{"gw.example.com"});
}
