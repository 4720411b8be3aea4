// Target lists for internal numbers: contacts with q and expiry, voice mail,
// forwarding on no answer, groups with stage delays and queues.
#include "initiate_list_fixture.h"

namespace
{
std::vector<std::string> Sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

struct ContactCase {
    const char *what;
    std::vector<std::tuple<const char *, int64_t, const char *>> contacts; // uri, expires, q
    bool ok;
    std::vector<std::string> items;
};

TEST_F(InitiateListTest, ContactsOfAnExtension)
{
    // clang-format off
    const ContactCase cases[] = {
        {"two phones of equal q ring at once", {{"sip:101@10.0.0.5:5062", kNow + 60, "0.5"}, {"sip:101@10.0.0.6", kNow + 60, "0.5"}}, true, {"+0 sip:101@10.0.0.5:5062 101", "+0 sip:101@10.0.0.6 101"}},
        {"a low-q application waits for the voice-mail delay", {{"sip:101@10.0.0.5", kNow + 60, "1.0"}, {"sip:app@10.0.0.9", kNow + 60, "0.1"}}, true, {"+0 sip:101@10.0.0.5 101", "+20 sip:app@10.0.0.9 101"}},
        {"q 0.2 against 0.5 is low priority (no rounding loss)", {{"sip:a@h1", kNow + 60, "0.5"}, {"sip:b@h2", kNow + 60, "0.2"}}, true, {"+0 sip:a@h1 101", "+20 sip:b@h2 101"}},
        {"a lone contact with q 0 is delayed too", {{"sip:a@h1", kNow + 60, "0"}}, true, {"+20 sip:a@h1 101"}},
        {"expired five minutes ago still rings", {{"sip:a@h1", kNow - 300, "0.5"}}, true, {"+0 sip:a@h1 101"}},
        {"expired exactly ten minutes ago still rings", {{"sip:a@h1", kNow - 600, "0.5"}}, true, {"+0 sip:a@h1 101"}},
        {"expired eleven minutes ago fails", {{"sip:a@h1", kNow - 660, "0.5"}}, false, {}},
        {"a hostile q reads as 0", {{"sip:a@h1", kNow + 60, "nan"}, {"sip:b@h2", kNow + 60, "1"}}, true, {"+20 sip:a@h1 101", "+0 sip:b@h2 101"}},
        {"the same contact registered twice rings once", {{"sip:a@h1", kNow + 60, "0.5"}, {"sip:a@h1", kNow + 60, "0.5"}}, true, {"+0 sip:a@h1 101"}},
    };
    // clang-format on
    for (const ContactCase &c : cases) {
        SCOPED_TRACE(c.what);
        LPBXExtensionList().Delete("101");
        AddExtension({.name = "101", .voiceMailDelay = 20});
        for (auto &[uri, expires, q] : c.contacts)
            AddContact("101", uri, expires, q);
        list.DeleteAll();
        log.Clear();
        EXPECT_EQ(GenerateInternalCallList(list, "101", kCaller, prompt, hold, 70), c.ok);
        EXPECT_EQ(SortedItems(), Sorted(c.items));
        EXPECT_STREQ(prompt, "");
        EXPECT_STREQ(hold, "");
        EXPECT_EQ(Logged("Cannot find any contacts for extension \"101\""), !c.ok);
    }
}

TEST_F(InitiateListTest, ContactItemCarriesTheAddressing)
{
    AddExtension({.name = "101", .plan = "Office"});
    AddContact("101", "sip:101@10.0.0.5:5062;line=abc");
    ASSERT_TRUE(GenerateInternalCallList(list, "101", kCaller, prompt, hold, 69));
    ASSERT_EQ(list.GetCount(), 1);
    const LSipCallInitiateItem &item = *list.GetFirst();
    EXPECT_STREQ(item.GetCall().remoteTargetURI, "sip:101@10.0.0.5:5062;line=abc");
    EXPECT_EQ(Describe(item),
              "<sip:101@pbx.test> from \"Alice\" <sip:100@pbx.test> as 101 auth 101: "
              "proxy  rules Office hops 69 abort 200 flags 0");
    EXPECT_EQ(item.GetQueueItem().WaitTillFrontOfQueue(), nullptr);
}

// Voice mail takes over from forwarding (a delay below 1 s means 8 s); a
// missing voice mail extension falls back to forwarding; a forwarding loop
// stops, each contact listed once.
TEST_F(InitiateListTest, VoiceMailAndForwarding)
{
    // clang-format off
    const struct { Ext first, second; std::vector<std::string> items; const char *logged; } cases[] = {
        {{.name = "101", .voiceMail = "199", .voiceMailDelay = 0, .forward = "102"}, {.name = "102"}, {"+0 sip:101@10.0.0.5 101", "+8 sip:vm@10.0.0.9:5070;target=101%40pbx.test;cause=486 199"}, ""},
        {{.name = "101", .voiceMail = "198", .forward = "102", .forwardDelay = 30}, {.name = "102"}, {"+0 sip:101@10.0.0.5 101", "+30 sip:102@10.0.0.6 102"}, "Unable to find voice mail extension 198"},
        {{.name = "101", .forward = "102", .forwardDelay = 5}, {.name = "102", .forward = "101", .forwardDelay = 5}, {"+0 sip:101@10.0.0.5 101", "+5 sip:102@10.0.0.6 102"}, "Circular transfer forward detected"},
    };
    // clang-format on
    AddPlan("Default", "");
    AddExtension({.name = "199"});
    AddContact("199", "sip:vm@10.0.0.9:5070");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.items.back());
        for (const Ext &e : {c.first, c.second}) {
            LPBXExtensionList().Delete(e.name);
            AddExtension(e);
        }
        AddContact("101", "sip:101@10.0.0.5");
        AddContact("102", "sip:102@10.0.0.6");
        list.DeleteAll();
        log.Clear();
        ASSERT_TRUE(GenerateInternalCallList(list, "101", kCaller, prompt, hold, 70));
        EXPECT_EQ(Items(), c.items);
        EXPECT_TRUE(!c.logged[0] || Logged(c.logged)) << c.logged;
    }
}

TEST_F(InitiateListTest, GroupMembersRingInStagesAndShareOneQueuePlace)
{
    AddExtension({.name = "101"});
    AddExtension({.name = "102"});
    AddExtension({.name = "103"});
    AddContact("101", "sip:101@10.0.0.1:5062");
    AddContact("102", "sip:102@10.0.0.2");
    AddContact("103", "sip:103@10.0.0.3");
    AddGroup("701", {{"101", 0}, {"102", 10}, {"103", 20}}, "/data/PleaseHold.wav",
             "localhost:606");
    ASSERT_TRUE(GenerateInternalCallList(list, "701", kCaller, prompt, hold, 70));
    EXPECT_EQ(SortedItems(), Sorted({"+0 sip:101@10.0.0.1:5062 101", "+10 sip:102@10.0.0.2 102",
                                     "+20 sip:103@10.0.0.3 103"}));
    EXPECT_STREQ(prompt, "/data/PleaseHold.wav");
    EXPECT_STREQ(hold, "localhost:606");
    for (LSipCallInitiateItem *item = list.GetFirst(); item; item = LListNext(item)) {
        EXPECT_TRUE(item->IsGroupMember());
        EXPECT_STREQ(item->GetQueueItem().GetGroupCall().GetGroupName(), "701");
    }
    EXPECT_EQ(list.GetEnvironment().GetQueues().GetQueueLength("701"), 1);
    list.DeleteAll();
    EXPECT_EQ(list.GetEnvironment().GetQueues().GetGroupCount(), 0)
        << "the list held the only handles";
}

TEST_F(InitiateListTest, ForwardToAGroupStartsAfterTheForwardingDelay)
{
    AddExtension({.name = "100", .forward = "701", .forwardDelay = 14});
    AddExtension({.name = "101"});
    AddExtension({.name = "102"});
    AddPlan("Default", "");
    AddContact("100", "sip:100@10.0.0.9");
    AddContact("101", "sip:101@10.0.0.1");
    AddContact("102", "sip:102@10.0.0.2");
    AddGroup("701", {{"101", 0}, {"102", 5}});
    ASSERT_TRUE(GenerateInternalCallList(list, "100", kCaller, prompt, hold, 70));
    EXPECT_EQ(SortedItems(), Sorted({"+0 sip:100@10.0.0.9 100", "+14 sip:101@10.0.0.1 101",
                                     "+19 sip:102@10.0.0.2 102"}));
    EXPECT_STREQ(prompt, "") << "outputs of a forwarded group are discarded";
}

TEST_F(InitiateListTest, GroupFailures)
{
    AddExtension({.name = "101"});
    AddContact("101", "sip:101@10.0.0.1");
    AddExtension({.name = "102"});
    AddGroup("701", {{"101", 0}, {"150", 0}});
    AddGroup("702", {{"102", 0}});
    AddGroup("703", {});
    EXPECT_TRUE(GenerateInternalCallList(list, "701", kCaller, prompt, hold, 70));
    EXPECT_TRUE(Logged("Unable to find the extension \"150\" referred to in the group \"701\"."));
    EXPECT_EQ(list.GetCount(), 1);
    list.DeleteAll();
    EXPECT_FALSE(GenerateInternalCallList(list, "702", kCaller, prompt, hold, 70));
    EXPECT_TRUE(Logged("Cannot find any contacts in group \"702\"."));
    EXPECT_TRUE(Logged("It is possible no phone is connected logged on."));
    EXPECT_FALSE(GenerateInternalCallList(list, "703", kCaller, prompt, hold, 70));
    EXPECT_TRUE(Logged("Group \"703\" does not have any extensions!"));
}

TEST_F(InitiateListTest, UnknownAndHostileNames)
{
    AddExtension({.name = "101"});
    AddContact("101", "sip:101@10.0.0.1");
    std::string huge(5000, '7');
    for (const char *name : {"", "999", "abc#*", huge.c_str(), "../101", "101;x"}) {
        SCOPED_TRACE(std::string(name).substr(0, 20));
        EXPECT_FALSE(GenerateInternalCallList(list, name, kCaller, prompt, hold, 70));
        EXPECT_TRUE(list.IsEmpty());
    }
    EXPECT_TRUE(Logged("Unable to find any extensions or groups with the name \"999\"."));
}

TEST_F(InitiateListTest, ApplicationExtensionWithoutPhoneNotifiesTheDesktop)
{
    AddExtension({.name = "197"});
    AddExtension({.name = "150"});
    EXPECT_FALSE(GenerateInternalCallList(list, "197", kCaller, prompt, hold, 70));
    EXPECT_FALSE(GenerateInternalCallList(list, "150", kCaller, prompt, hold, 70));
    EXPECT_EQ(env.notifications, (std::vector<std::pair<int, int>>{{3, 197}}));
    EXPECT_TRUE(Logged("The extension you are attemption to dial 197 [197] may need an external "
                       "related programs to be installed. Please see Help -> Install Related "
                       "Programs."));
}
} // namespace
