// Every field of every entity: its settings key, its default, and a round trip
// through the file.
#include "config/pbx_contact.h"
#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"
#include "config/pbx_group.h"
#include "config/pbx_outbound_plan.h"
#include "pbx_fixture.h"

#include <functional>
#include <vector>

namespace
{
template <class R> struct StringField {
    const char *key;
    const char *def;
    const char *(R::*get)(char *);
    bool (R::*set)(const char *);
};
template <class R> struct IntField {
    const char *key;
    int def;
    int (R::*get)();
    bool (R::*set)(int);
};
template <class R> struct BoolField {
    const char *key;
    bool def;
    bool (R::*get)();
    bool (R::*set)(bool);
};

template <class R> struct FieldTable {
    std::vector<StringField<R>> strings;
    std::vector<IntField<R>> ints;
    std::vector<BoolField<R>> bools;
};

using Ext = LPBXExtension;
const FieldTable<Ext> kExtension{
    {{"DisplayName", "", &Ext::GetDisplayName, &Ext::SetDisplayName},
     {"Password", "", &Ext::GetPassword, &Ext::SetPassword},
     {"OutboundPlan", "Default", &Ext::GetOutboundPlan, &Ext::SetOutboundPlan},
     {"VoiceMailExtension", "199", &Ext::GetVoiceMailExtension, &Ext::SetVoiceMailExtension},
     {"TransferNotAnswered", "", &Ext::GetTransferNotAnswered, &Ext::SetTransferNotAnswered}},
    {{"VoiceMailDelay", 14, &Ext::GetVoiceMailDelayTime, &Ext::SetVoiceMailDelayTime},
     {"TransferNotAnsweredDelayTime", 14, &Ext::GetTransferNotAnsweredDelayTime,
      &Ext::SetTransferNotAnsweredDelayTime}},
    {{"Record", false, &Ext::GetRecordOutgoing, &Ext::SetRecordOutgoing}}};

using Line = LPBXExternalLine;
const FieldTable<Line> kLine{
    {{"ID", "", &Line::GetLineID, &Line::SetLineID},
     {"Server", "", &Line::GetServer, &Line::SetServer},
     {"Password", "", &Line::GetPassword, &Line::SetPassword},
     {"AuthUserId", "", &Line::GetAuthUserID, &Line::SetAuthUserID},
     {"OutboundProxy", "", &Line::GetOutboundProxy, &Line::SetOutboundProxy},
     {"RingOnLine", "", &Line::GetRingOnLine, &Line::SetRingOnLine},
     {"PrependCID", "9", &Line::GetPrependCID, &Line::SetPrependCID},
     {"ChainLine", "", &Line::GetChainLine, &Line::SetChainLine}},
    {{"ChainAbortResponse", 600, &Line::GetChainAbortResponse, &Line::SetChainAbortResponse}},
    {{"DisablePolling", false, &Line::GetDisablePolling, &Line::SetDisablePolling},
     {"ProhibitOddRtp", false, &Line::GetProhibitOddRtp, &Line::SetProhibitOddRtp},
     {"AlwaysRelay", false, &Line::GetAlwaysRelay, &Line::SetAlwaysRelay},
     {"RelayNotNeeded", false, &Line::GetRelayNotNeeded, &Line::SetRelayNotNeeded},
     {"Record", false, &Line::GetRecordIncoming, &Line::SetRecordIncoming}}};

using Group = LPBXGroup;
const FieldTable<Group> kGroup{
    {{"StartPrompt", "", &Group::GetStartPrompt, &Group::SetStartPrompt},
     {"Hold", "localhost:606", &Group::GetWaitHold, &Group::SetWaitHold}},
    {},
    {}};

using Member = LPBXGroup::Extension;
const FieldTable<Member> kMember{
    {{"Extension", "101", &Member::GetExtension, &Member::SetExtension}},
    {{"Delay", 0, &Member::GetDelayTime, &Member::SetDelayTime}},
    {}};

using Plan = LPBXOutboundPlan;
const FieldTable<Plan> kPlan{
    {{"DefaultDialOnLine", "", &Plan::GetDefaultDialOnLine, &Plan::SetDefaultDialOnLine}}, {}, {}};

using Dial = LPBXOutboundPlan::DialBasedRule;
const FieldTable<Dial> kDialRule{
    {{"StartsWith", "", &Dial::GetStartsWith, &Dial::SetStartsWith},
     {"Prepend", "", &Dial::GetPrepend, &Dial::SetPrepend},
     {"DialOnLine", "", &Dial::GetDialOnLine, &Dial::SetDialOnLine}},
    {{"RemoveDigits", 0, &Dial::GetRemoveDigits, &Dial::SetRemoveDigits}},
    {}};

using Host = LPBXOutboundPlan::SipHostBasedRule;
const FieldTable<Host> kHostRule{{{"Host", "", &Host::GetHost, &Host::SetHost},
                                  {"DialOnLine", "", &Host::GetDialOnLine, &Host::SetDialOnLine}},
                                 {},
                                 {}};

using Contact = LPBXContactRecord;
const FieldTable<Contact> kContact{{{"Contact", "", &Contact::GetContact, &Contact::SetContact},
                                    {"Q", "", &Contact::GetQ, &Contact::SetQ}},
                                   {},
                                   {}};

class PBXFields : public PBXTest
{
  protected:
    template <class R> void CheckDefaults(R rec, const FieldTable<R> &t)
    {
        char out[LPathSize];
        for (const auto &f : t.strings)
            EXPECT_STREQ((rec.*f.get)(out), f.def) << f.key;
        for (const auto &f : t.ints)
            EXPECT_EQ((rec.*f.get)(), f.def) << f.key;
        for (const auto &f : t.bools)
            EXPECT_EQ((rec.*f.get)(), f.def) << f.key;
    }

    // Writes a distinct value into every field, then reads all of them back
    // through a fresh object and finds each under its own key in the file:
    // two fields sharing a key, or a misspelt key, show up here.
    template <class R> void CheckRoundTrip(R rec, const FieldTable<R> &t)
    {
        int n = 1000;
        for (const auto &f : t.strings)
            ASSERT_TRUE((rec.*f.set)((std::string("v-") + f.key).c_str())) << f.key;
        for (const auto &f : t.ints)
            ASSERT_TRUE((rec.*f.set)(n++)) << f.key;
        for (const auto &f : t.bools)
            ASSERT_TRUE((rec.*f.set)(!f.def)) << f.key;

        R fresh(rec);
        char out[LPathSize];
        n = 1000;
        for (const auto &f : t.strings) {
            std::string want = std::string("v-") + f.key;
            EXPECT_EQ((fresh.*f.get)(out), want) << f.key;
            EXPECT_TRUE(FileHasLine(rec.GetPath(), f.key, want)) << f.key;
        }
        for (const auto &f : t.ints) {
            EXPECT_EQ((fresh.*f.get)(), n) << f.key;
            EXPECT_TRUE(FileHasLine(rec.GetPath(), f.key, std::to_string(n++))) << f.key;
        }
        for (const auto &f : t.bools) {
            EXPECT_EQ((fresh.*f.get)(), !f.def) << f.key;
            EXPECT_TRUE(FileHasLine(rec.GetPath(), f.key, f.def ? "0" : "1")) << f.key;
        }
    }

    // A hand-written record: keys in mixed case, spaces before keys, stray
    // lines. Keys are stored in lower case, so only lower-case lines count;
    // everything else reads as the default.
    template <class R> void CheckHandWritten(R rec, const FieldTable<R> &t)
    {
        std::string text = "   \r\nnonsense line\n";
        for (const auto &f : t.strings)
            text += std::string(f.key) + "=upper\r\n";
        WriteFile(rec.GetPath(), text);
        CheckDefaults(rec, t);
        EXPECT_TRUE(rec.TestFieldExists(t.strings.front().key));
    }

    template <class R> void CheckAll(const R &rec, const FieldTable<R> &t)
    {
        ASSERT_TRUE(rec.IsValid());
        CheckDefaults(rec, t);
        CheckRoundTrip(rec, t);
        CheckHandWritten(rec, t);
    }
};
} // namespace

TEST_F(PBXFields, ExtensionKeysAndDefaults)
{
    LPBXExtension ext;
    ASSERT_TRUE(LPBXExtensionList().Open(ext, "101"));
    CheckAll(ext, kExtension);
}

TEST_F(PBXFields, ExternalLineKeysAndDefaults)
{
    LPBXExternalLine line;
    ASSERT_TRUE(LPBXExternalLineList().Open(line, "Provider"));
    CheckAll(line, kLine);
}

TEST_F(PBXFields, GroupAndMemberKeysAndDefaults)
{
    LPBXGroup group;
    ASSERT_TRUE(LPBXGroupList().Open(group, "701"));
    CheckAll(group, kGroup);
    LPBXGroup::Extension member;
    ASSERT_TRUE(group.GetExtensionList().Open(member, "102"));
    CheckAll(member, kMember);
}

TEST_F(PBXFields, PlanAndRuleKeysAndDefaults)
{
    LPBXOutboundPlan plan;
    ASSERT_TRUE(LPBXOutboundPlanList().Open(plan, "default"));
    CheckAll(plan, kPlan);
    LPBXOutboundPlan::DialBasedRule dial;
    ASSERT_TRUE(plan.GetDialBasedRuleList().Open(dial, "9"));
    CheckAll(dial, kDialRule);
    LPBXOutboundPlan::SipHostBasedRule host;
    ASSERT_TRUE(plan.GetSipHostBasedRuleList().Open(host, "sip.example.net"));
    CheckAll(host, kHostRule);
}

TEST_F(PBXFields, ContactKeysAndDefaults)
{
    LPBXExtension ext;
    ASSERT_TRUE(LPBXExtensionList().Open(ext, "101"));
    LPBXContactRecord contact;
    ASSERT_TRUE(ext.GetContactList().Open(contact, "1"));
    EXPECT_EQ(contact.GetContactExpiresTime(), 0);
    ASSERT_TRUE(contact.SetContactExpiresTime(1700000000));
    EXPECT_TRUE(FileHasLine(contact.GetPath(), "Expires", "1700000000"));
    CheckAll(contact, kContact);
}

TEST_F(PBXFields, RecordFilesSitWhereTheTreeSaysInLowerCase)
{
    struct Case {
        std::string path;
        std::function<bool()> write;
    };
    LPBXGroup group;
    LPBXGroupList().Open(group, "Sales");
    LPBXOutboundPlan plan;
    LPBXOutboundPlanList().Open(plan, "Night");
    LPBXExtension ext;
    LPBXExtensionList().Open(ext, "Alice");
    const std::vector<Case> cases = {
        {"/extensions_/alice", [&] { return ext.SetDisplayName("A"); }},
        {"/extensions_/alice_/contactlist_/1",
         [&] { return ext.SetPassword("p") && ext.AddContact("sip:a@h", 1, "0.5"); }},
        {"/external_/telco", [] { return CreateExternalLine("TELCO", "", ""); }},
        {"/groups_/sales_/extensions_/101",
         [&] { return group.GetExtensionList().AddMember("101", 0); }},
        {"/outboundrules_/night_/dialbasedrules_/9",
         [&] { return plan.GetDialBasedRuleList().AddRule("9", 1, "", "-"); }},
        {"/outboundrules_/night_/hostbasedrules_/sip.example.net",
         [&] { return plan.GetSipHostBasedRuleList().AddRule("SIP.Example.NET", "-"); }},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(c.write()) << c.path;
        EXPECT_TRUE(Exists(Lines() + c.path)) << c.path;
    }
}
